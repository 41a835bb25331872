// The host-side container builder and inspector that hearthtool kernelcache uses: what it
// builds loads, and each kind of damage is named.
#include <gtest/gtest.h>

#include <string>

#include "kernel/adler32.h"
#include "tests/kernel/kernel_cache_test_support.h"
#include "tools/lib/kernel_cache_container.h"
#include "tools/lib/macho_writer.h"

using namespace kc_test;

namespace {

std::string Problems(const kernel_cache::FileReport& report) {
  std::string all;
  for (const auto& p : report.problems) all += p + "\n";
  for (const auto& s : report.slices) {
    for (const auto& p : s.problems) all += p + "\n";
  }
  return all;
}

}  // namespace

TEST(ContainerTool, BuiltContainersInspectCleanAndGiveTheKernelBack) {
  std::vector<uint8_t> kernel = Kernel();
  for (auto method : {kernel_cache::Method::kLzvn, kernel_cache::Method::kLzss}) {
    kernel_cache::FileReport report = kernel_cache::InspectFile(Container(kernel, method, false));
    ASSERT_TRUE(report.ok()) << Problems(report);
    ASSERT_EQ(report.slices.size(), 1u);
    EXPECT_TRUE(report.slices[0].container);
    EXPECT_EQ(report.slices[0].method, method == kernel_cache::Method::kLzvn ? "lzvn" : "lzss");
    EXPECT_EQ(report.slices[0].slide_support, 0u);
    EXPECT_EQ(report.slices[0].stored_adler32, CalculateAdler32(kernel.data(), kernel.size()));
    EXPECT_EQ(report.slices[0].kernel, kernel);
  }
}

TEST(ContainerTool, NamesWhatIsWrong) {
  struct Case {
    const char* name;
    std::vector<uint8_t> file;
    const char* problem;
  };
  std::vector<uint8_t> kernel = Kernel();
  auto spoiled = [&](void (*spoil)(kernel_cache::RawContainer*)) {
    kernel_cache::RawContainer raw = RawFor(kernel);
    spoil(&raw);
    return kernel_cache::WriteRawContainer(raw);
  };
  kernel_cache::BuildOptions corrupt;
  corrupt.corrupt_adler32 = true;
  std::vector<uint8_t> cut = Container(kernel);
  cut.resize(100);
  const Case cases[] = {
      {"checksum", kernel_cache::BuildContainer(kernel, corrupt), "Adler-32 mismatch"},
      {"method", spoiled([](kernel_cache::RawContainer* c) { c->method = "zzzz"; }), "unknown compression method 'zzzz'"},
      {"compressed size", spoiled([](kernel_cache::RawContainer* c) { c->compressed_size += 9; }),
       "reaches past the slice"},
      {"uncompressed size", spoiled([](kernel_cache::RawContainer* c) { c->uncompressed_size += 1; }),
       "decompression produced"},
      {"header", cut, "container header cut short"},
      {"neither container nor kernel", std::vector<uint8_t>(64, 'x'), "the file is not a 64-bit Mach-O image"},
      {"container of something else", kernel_cache::BuildContainer(std::vector<uint8_t>(4096, 0x90)),
       "the container's kernel is not a 64-bit Mach-O image"},
      {"slice table", std::vector<uint8_t>{0xCA, 0xFE, 0xBA, 0xBE, 0, 0, 0, 9, 0, 0}, "slice table cut short"},
      {"slice bounds", [&] {
         std::vector<uint8_t> fat = macho::WriteUniversal({{0x01000007, 3, Container(kernel)}});
         fat.resize(fat.size() - 1);
         return fat;
       }(), "slice reaches past the end of the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    kernel_cache::FileReport report = kernel_cache::InspectFile(c.file);
    EXPECT_FALSE(report.ok());
    EXPECT_NE(Problems(report).find(c.problem), std::string::npos) << Problems(report);
  }
}
