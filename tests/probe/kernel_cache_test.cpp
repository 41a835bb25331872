// The kernel cache the hand-off scenarios boot (probe/make_kernelcache.py): a container the
// loader's own decoder expands back into the probe kernel, under the checksum it carries and
// the one the scenarios' configuration file expects.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kernel/adler32.h"
#include "kernel/lzvn.h"
#include "lib/mem.h"
#include "tests/probe/probe_under_qemu.h"
#include "tests/required_tool.h"

using probe_qemu::HostOutput;
using probe_qemu::ReadFile;

TEST(ProbeKernelCache, ExpandsToTheProbeUnderItsChecksum) {
  std::vector<uint8_t> cache, kernel, plist;
  REQUIRE_TOOL(ReadFile(HostOutput("probe-kernelcache"), &cache) && ReadFile(HostOutput("probe-kernel"), &kernel) &&
                   ReadFile(HostOutput("probe-boot.plist"), &plist),
               "build the probe-kernelcache target first");
  ASSERT_GT(cache.size(), 384u);
  EXPECT_EQ(std::string(cache.begin(), cache.begin() + 8), "complzvn");
  uint32_t adler = LoadBe32(&cache[8]), size = LoadBe32(&cache[12]), compressed = LoadBe32(&cache[16]);
  EXPECT_NE(LoadLe32(&cache[20]), 0u) << "slide support";
  ASSERT_EQ(compressed, cache.size() - 384);
  std::vector<uint8_t> expanded(size);
  ASSERT_EQ(DecompressLzvn(expanded.data(), size, &cache[384], compressed), size);
  EXPECT_EQ(expanded, kernel);
  EXPECT_EQ(CalculateAdler32(expanded.data(), expanded.size()), adler);

  char token[40];
  std::snprintf(token, sizeof(token), "probe-expect-adler=0x%08x ", adler);
  EXPECT_NE(std::string(plist.begin(), plist.end()).find(token), std::string::npos);
}
