// Which kernel cache is chosen: the override, the firmware's location, the network names,
// and the release, suffixed, development and plain caches of the volume.
#include <gtest/gtest.h>

#include "flags/boot_mode.h"
#include "kernel/kernel_cache.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/kernel_cache_test_support.h"

using namespace kc_test;

namespace {

const std::string kPlain = "System\\Library\\PrelinkedKernels\\prelinkedkernel";
const std::string kDevelopment = kPlain + ".development";
const std::string kSuffixed = kPlain + ".test";

std::string Volume(const std::string& path) { return "\\" + path; }

// A file present on the volume: a good cache tagged `tag`, or a corrupted one.
struct Present {
  std::string path;
  int tag;  // -1: checksum off by one
};

std::vector<uint8_t> CacheFile(int tag) {
  if (tag >= 0) return Container(Kernel(uint32_t(tag)));
  kernel_cache::RawContainer raw = RawFor(Kernel());
  raw.adler32 ^= 1;
  return kernel_cache::WriteRawContainer(raw);
}

struct SearchCase {
  const char* name;
  UINT64 flags;
  const char16_t* suffix;
  const char16_t* override_path;
  std::vector<Present> present;
  std::vector<std::string> opened;
  EFI_STATUS status;
  int loaded_tag;  // entry point kCode + tag, when the search succeeds
};

const std::vector<SearchCase>& Cases() {
  static const std::vector<SearchCase> cases = {
      {"nothing: development, then plain", 0, nullptr, nullptr, {}, {kDevelopment, kPlain}, EFI_NOT_FOUND, 0},
      {"development first when both exist", 0, nullptr, nullptr, {{kPlain, 1}, {kDevelopment, 2}}, {kDevelopment},
       EFI_SUCCESS, 2},
      {"release: plain first", kBootModeReleaseKernelCache, nullptr, nullptr, {{kPlain, 1}, {kDevelopment, 2}},
       {kPlain}, EFI_SUCCESS, 1},
      {"release, nothing: plain, development, and stop", kBootModeReleaseKernelCache, nullptr, nullptr, {},
       {kPlain, kDevelopment}, EFI_NOT_FOUND, 0},
      {"release, corrupt development: its status ends the search", kBootModeReleaseKernelCache, nullptr, nullptr,
       {{kDevelopment, -1}}, {kPlain, kDevelopment}, EFI_CRC_ERROR, 0},
      {"missing suffixed file: suffixed, development, plain", 0, u"test", nullptr, {{kPlain, 3}},
       {kSuffixed, kDevelopment, kPlain}, EFI_SUCCESS, 3},
      {"suffixed file found", 0, u"test", nullptr, {{kSuffixed, 4}, {kDevelopment, 2}}, {kSuffixed}, EFI_SUCCESS, 4},
      {"release and suffix: plain, suffixed, development", kBootModeReleaseKernelCache, u"test", nullptr,
       {{kDevelopment, 2}}, {kPlain, kSuffixed, kDevelopment}, EFI_SUCCESS, 2},
      {"empty suffix is no suffix", 0, u"", nullptr, {}, {kDevelopment, kPlain}, EFI_NOT_FOUND, 0},
      {"a corrupt candidate moves the search on", 0, nullptr, nullptr, {{kDevelopment, -1}, {kPlain, 5}},
       {kDevelopment, kPlain}, EFI_SUCCESS, 5},
      {"override: only that path", 0, u"test", u"Boot\\custom.kc", {{"Boot\\custom.kc", 6}, {kDevelopment, 2}},
       {"Boot\\custom.kc"}, EFI_SUCCESS, 6},
      {"override missing: its status is final", kBootModeReleaseKernelCache, nullptr, u"Boot\\missing.kc",
       {{kPlain, 1}}, {"Boot\\missing.kc"}, EFI_NOT_FOUND, 0},
      {"empty override is none", 0, nullptr, u"", {{kDevelopment, 2}}, {kDevelopment}, EFI_SUCCESS, 2},
  };
  return cases;
}

}  // namespace

TEST(KernelCacheSearch, VolumeCandidatesInOrder) {
  for (const SearchCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    TestFirmware fw;
    BootModeFlags |= c.flags;
    RecordingVolume volume;
    for (const Present& p : c.present) volume.fs().AddFile(Volume(p.path), CacheFile(p.tag));
    KernelCacheRequest request{};
    request.Suffix = reinterpret_cast<const CHAR16*>(c.suffix);
    request.PathOverride = reinterpret_cast<const CHAR16*>(c.override_path);
    KernelImageInfo info{};
    EXPECT_EQ(LoadKernelCache(&request, nullptr, volume.Root(), &info), c.status);
    EXPECT_EQ(volume.Opened(), c.opened);
    if (c.status == EFI_SUCCESS) {
      EXPECT_EQ(info.EntryPoint, kCode + c.loaded_tag);
      EXPECT_EQ(Narrow(KernelCacheBootFile()), c.opened.back()) << "the loaded file is remembered";
    } else {
      EXPECT_EQ(KernelCacheBootFile(), nullptr);
    }
    EXPECT_EQ(volume.fs().OpenHandles(), 1u) << "every candidate is closed again (the root stays)";
  }
}

TEST(KernelCacheSearch, SuffixTooLongForThePathBufferIsNotTried) {
  TestFirmware fw;
  RecordingVolume volume;
  volume.fs().AddFile(Volume(kPlain), CacheFile(1));
  std::u16string suffix(600, u'x');
  KernelCacheRequest request{};
  request.Suffix = reinterpret_cast<const CHAR16*>(suffix.c_str());
  KernelImageInfo info{};
  EXPECT_EQ(LoadKernelCache(&request, nullptr, volume.Root(), &info), EFI_SUCCESS);
  EXPECT_EQ(volume.Opened(), (std::vector<std::string>{kDevelopment, kPlain}));
}

namespace {

std::vector<uint8_t> FileDevicePath(const std::string& path, bool with_mac) {
  DevicePathBuilder b;
  b.Pci(0x19, 0);
  if (with_mac) b.Node(MESSAGING_DEVICE_PATH, MSG_MAC_ADDR_DP, std::vector<uint8_t>(33, 0));
  b.FilePath(std::u16string(path.begin(), path.end()));
  return b.Build();
}

}  // namespace

TEST(KernelCacheSearch, NetworkBootTriesPrelinkedKernelThenKernelCache) {
  for (bool have_kernelcache : {true, false}) {
    SCOPED_TRACE(have_kernelcache ? "kernelcache served" : "nothing served");
    TestFirmware fw;
    BootModeFlags |= kBootModeNetBoot;
    NetworkSource net;
    if (have_kernelcache) net.AddFile("x86_64\\kernelcache", CacheFile(7));
    KernelCacheRequest request{};
    KernelImageInfo info{};
    EFI_STATUS status = LoadKernelCache(&request, net.Protocol(), nullptr, &info);
    EXPECT_EQ(net.Requested(), (std::vector<std::string>{"x86_64\\prelinkedkernel", "x86_64\\kernelcache"}));
    // A missing network file shows up when its first bytes are read, as a slice error.
    EXPECT_EQ(status, have_kernelcache ? EFI_SUCCESS : EFI_LOAD_ERROR);
    if (have_kernelcache) {
      EXPECT_EQ(info.EntryPoint, kCode + 7);
      EXPECT_EQ(Narrow(KernelCacheBootFile()), "x86_64\\kernelcache");
    }
  }
}

TEST(KernelCacheSearch, NetworkBootUsesTheFirmwareLocationOnlyWhenItNamesANetworkDevice) {
  for (bool with_mac : {true, false}) {
    SCOPED_TRACE(with_mac ? "MAC node" : "no MAC node");
    TestFirmware fw;
    BootModeFlags |= kBootModeNetBoot;
    NetworkSource net;
    net.AddFile("boot\\kc.lzvn", CacheFile(9));
    net.AddFile("x86_64\\prelinkedkernel", CacheFile(1));
    std::vector<uint8_t> location = FileDevicePath("boot\\kc.lzvn", with_mac);
    KernelCacheRequest request{};
    request.FirmwareLocation = location.data();
    request.FirmwareLocationSize = location.size();
    KernelImageInfo info{};
    ASSERT_EQ(LoadKernelCache(&request, net.Protocol(), nullptr, &info), EFI_SUCCESS);
    EXPECT_EQ(info.EntryPoint, kCode + (with_mac ? 9 : 1));
    EXPECT_EQ(net.Requested().front(), with_mac ? "boot\\kc.lzvn" : "x86_64\\prelinkedkernel");
    EXPECT_EQ(Narrow(KernelCacheBootFile()), with_mac ? "boot\\kc.lzvn" : "x86_64\\prelinkedkernel");
  }
}

TEST(KernelCacheSearch, FirmwareLocationFailureIsRememberedAndTheSearchGoesOn) {
  TestFirmware fw;
  NetworkSource net;  // a LoadFile source without kBootModeNetBoot: the location is tried
  std::vector<uint8_t> location = FileDevicePath("gone.kc", false);
  KernelCacheRequest request{};
  request.FirmwareLocation = location.data();
  request.FirmwareLocationSize = location.size();
  KernelImageInfo info{};
  EXPECT_EQ(LoadKernelCacheFromDevicePath(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(location.data()),
                                          net.Protocol(), &info),
            EFI_LOAD_ERROR);
  EXPECT_EQ(Narrow(KernelCacheBootFile()), "gone.kc") << "remembered whatever the outcome";
  NetworkSource search;
  search.AddFile("System\\Library\\PrelinkedKernels\\prelinkedkernel", CacheFile(2));
  ASSERT_EQ(LoadKernelCache(&request, search.Protocol(), nullptr, &info), EFI_SUCCESS);
  EXPECT_EQ(info.EntryPoint, kCode + 2);
  EXPECT_EQ(search.Requested().front(), "gone.kc");
  EXPECT_EQ(Narrow(KernelCacheBootFile()), kPlain);
}

TEST(KernelCacheSearch, VolumeBootCannotReadTheFirmwareLocationAndGoesOn) {
  TestFirmware fw;
  RecordingVolume volume;
  volume.fs().AddFile(Volume(kDevelopment), CacheFile(2));
  std::vector<uint8_t> location = FileDevicePath(kPlain, false);
  KernelCacheRequest request{};
  request.FirmwareLocation = location.data();
  request.FirmwareLocationSize = location.size();
  KernelImageInfo info{};
  EXPECT_EQ(LoadKernelCache(&request, nullptr, volume.Root(), &info), EFI_SUCCESS);
  EXPECT_EQ(info.EntryPoint, kCode + 2);
  EXPECT_EQ(volume.Opened(), (std::vector<std::string>{kDevelopment}));
}

TEST(KernelCacheSearch, MalformedFirmwareLocationIsSkipped) {
  std::vector<uint8_t> good = FileDevicePath("boot\\kc.lzvn", true);
  struct Variant {
    const char* name;
    std::vector<uint8_t> bytes;
    size_t size;
  };
  std::vector<uint8_t> long_node = good;
  long_node[2] = 0xF0;  // the first node claims more bytes than the variable holds
  std::vector<uint8_t> short_node = good;
  short_node[2] = 2;  // shorter than a node header
  const Variant variants[] = {
      {"node past the end", long_node, long_node.size()},
      {"node shorter than its header", short_node, short_node.size()},
      {"no end node within the size", good, good.size() - 4},
      {"three bytes", good, 3},
  };
  for (const Variant& v : variants) {
    SCOPED_TRACE(v.name);
    TestFirmware fw;
    BootModeFlags |= kBootModeNetBoot;
    NetworkSource net;
    net.AddFile("boot\\kc.lzvn", CacheFile(9));
    net.AddFile("x86_64\\prelinkedkernel", CacheFile(1));
    KernelCacheRequest request{};
    request.FirmwareLocation = v.bytes.data();
    request.FirmwareLocationSize = v.size;
    KernelImageInfo info{};
    ASSERT_EQ(LoadKernelCache(&request, net.Protocol(), nullptr, &info), EFI_SUCCESS);
    EXPECT_EQ(net.Requested().front(), "x86_64\\prelinkedkernel");
  }
}

TEST(KernelCacheSearch, ChecksumIsPublishedForTheLoadedCache) {
  TestFirmware fw;
  RecordingVolume volume;
  std::vector<uint8_t> good = CacheFile(5);
  volume.fs().AddFile(Volume(kDevelopment), CacheFile(-1));
  volume.fs().AddFile(Volume(kPlain), good);
  KernelCacheRequest request{};
  KernelImageInfo info{};
  ASSERT_EQ(LoadKernelCache(&request, nullptr, volume.Root(), &info), EFI_SUCCESS);
  EXPECT_EQ(KernelCacheAdler32(), LoadBe32(good.data() + 8)) << "the loaded cache's, not the corrupt one's";
}
