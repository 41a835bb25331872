// The RAM disk: read into the kernel region above the kernel, announced in
// "/chosen/memory-map", from a volume or the network, plain or universal.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/error_report.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "kernel/ramdisk.h"
#include "lib/mem.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"
#include "tools/lib/macho_writer.h"

namespace {

constexpr uint64_t kKernelBase = 0xFFFFFF8002000000ull;
constexpr uint64_t kKernelSize = 0x5000;
constexpr uint64_t kAboveKernel = 0x2005000;  // physical

std::vector<uint8_t> Image(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = uint8_t(i * 31 + seed);
  return v;
}

// The kernel's own memory: what the RAM disk must land above.
void PlaceKernel() {
  UINT64 size = kKernelSize, address = kKernelBase;
  ASSERT_EQ(KernelMemoryAllocate(&size, &address), 0x2000000u);
}

// The "RAMDisk" entry as (address, size), or (0, 0) when there is none.
std::pair<uint32_t, uint32_t> Entry() {
  DeviceTreeNode* map = DeviceTreeFindNode("/chosen/memory-map", false);
  DeviceTreeProperty* p = map ? DeviceTreeFindProperty(map, "RAMDisk") : nullptr;
  if (!p || p->length != 8) return {0, 0};
  const uint8_t* v = static_cast<const uint8_t*>(p->value);
  return {LoadLe32(v), LoadLe32(v + 4)};
}

const uint8_t* At(uint64_t physical) { return reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(physical)); }

struct Volume {
  MemoryFileSystem fs;
  EFI_FILE_PROTOCOL* root = nullptr;
  Volume() {
    fs.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
    EXPECT_EQ(fs.Protocol()->OpenVolume(fs.Protocol(), &root), EFI_SUCCESS);
  }
  ~Volume() { root->Close(root); }
};

class RamDisk : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
    PlaceKernel();
  }
  EFI_STATUS Load(const char16_t* path) {
    RamDiskRequest request{reinterpret_cast<const CHAR16*>(path), nullptr};
    return LoadRamDisk(&request, nullptr, volume.root);
  }
  TestFirmware fw;
  Volume volume;
};

}  // namespace

TEST_F(RamDisk, NoneNamedDoesNothing) {
  RamDiskRequest none{};
  EXPECT_EQ(LoadRamDisk(&none, nullptr, volume.root), EFI_SUCCESS);
  EXPECT_EQ(LoadRamDisk(nullptr, nullptr, volume.root), EFI_SUCCESS);
  EXPECT_EQ(fw.ConsoleText(), "");
  EXPECT_EQ(Entry(), std::make_pair(0u, 0u));
}

TEST_F(RamDisk, PlainImageLandsRightAboveTheKernelAndIsAnnounced) {
  std::vector<uint8_t> image = Image(0x2345, 1);
  volume.fs.AddFile("\\images\\rd.dmg", image);
  ASSERT_EQ(Load(u"images\\rd.dmg"), EFI_SUCCESS);
  EXPECT_EQ(fw.ConsoleText(), "Looking for RAM Disk file 'images\\rd.dmg'\r\n");
  EXPECT_EQ(Entry(), std::make_pair(uint32_t(kAboveKernel), 0x2345u));
  EXPECT_EQ(std::memcmp(At(kAboveKernel), image.data(), image.size()), 0);
  UINT64 low = 0, high = 0;
  KernelRegionBounds(&low, &high);
  EXPECT_EQ(high, kAboveKernel + 0x3000) << "the region grew by the whole pages of the image";
  EXPECT_EQ(volume.fs.OpenHandles(), 1u) << "closed again";
}

TEST_F(RamDisk, UniversalImageContributesOnlyItsX86Slice) {
  std::vector<uint8_t> other = Image(0x1800, 2), wanted = Image(0x1234, 3);
  volume.fs.AddFile("\\rd.fat", macho::WriteUniversal({{7, 3, other}, {0x01000007, 3, wanted}}));
  ASSERT_EQ(Load(u"rd.fat"), EFI_SUCCESS);
  EXPECT_EQ(Entry(), std::make_pair(uint32_t(kAboveKernel), 0x1234u));
  EXPECT_EQ(std::memcmp(At(kAboveKernel), wanted.data(), wanted.size()), 0);
}

TEST_F(RamDisk, MissingFileOrUnusableSliceIsReturnedWithoutEntry) {
  EXPECT_EQ(Load(u"missing.dmg"), EFI_NOT_FOUND);
  volume.fs.AddFile("\\rd.fat", macho::WriteUniversal({{7, 3, Image(0x100, 4)}}));
  EXPECT_EQ(Load(u"rd.fat"), EFI_LOAD_ERROR);
  EXPECT_EQ(Entry(), std::make_pair(0u, 0u));
}

TEST_F(RamDisk, ReadFailureIsReportedAndMakesNoEntry) {
  volume.fs.AddFile("\\rd.dmg", Image(0x3000, 5));
  // The first read is the slice check's; the image read comes after it.
  volume.fs.FailNth(MemoryFileSystem::Op::kRead, 3);
  EXPECT_EQ(Load(u"rd.dmg"), EFI_DEVICE_ERROR);
  EXPECT_NE(fw.ConsoleText().find("Error reading RAM disk\r\n"), std::string::npos) << fw.ConsoleText();
  EXPECT_EQ(Entry(), std::make_pair(0u, 0u));
}

namespace {

// A network source serving one image; notes the device path it was asked for.
struct NetworkImage {
  EFI_LOAD_FILE_PROTOCOL protocol{Serve};
  std::vector<uint8_t> image;
  std::vector<uint8_t> asked;

  static EFI_STATUS EFIAPI Serve(EFI_LOAD_FILE_PROTOCOL* self, EFI_DEVICE_PATH_PROTOCOL* path, BOOLEAN, UINTN* size,
                                 VOID* buffer) {
    auto* source = reinterpret_cast<NetworkImage*>(self);
    const auto* p = reinterpret_cast<const uint8_t*>(path);
    source->asked.assign(p, p + 4);
    if (!buffer || *size < source->image.size()) {
      *size = source->image.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, source->image.data(), source->image.size());
    *size = source->image.size();
    return EFI_SUCCESS;
  }
};

}  // namespace

TEST_F(RamDisk, NetworkBootReadsThroughLoadFileByDevicePath) {
  NetworkImage source;
  source.image = Image(0x1100, 6);
  std::vector<uint8_t> path = DevicePathBuilder().Pci(0x19, 0).FilePath(u"\\EFI\\rd.dmg").Build();
  RamDiskRequest request{reinterpret_cast<const CHAR16*>(u"rd.dmg"),
                         reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(path.data())};
  ASSERT_EQ(LoadRamDisk(&request, &source.protocol, nullptr), EFI_SUCCESS);
  EXPECT_EQ(fw.ConsoleText().rfind("Looking for RAM Disk path '", 0), 0u) << fw.ConsoleText();
  EXPECT_EQ(source.asked, std::vector<uint8_t>(path.begin(), path.begin() + 4)) << "the device path was asked for";
  EXPECT_EQ(Entry(), std::make_pair(uint32_t(kAboveKernel), 0x1100u));
  EXPECT_EQ(std::memcmp(At(kAboveKernel), source.image.data(), source.image.size()), 0);
  // Without a device path a network boot cannot name the file.
  RamDiskRequest path_only{reinterpret_cast<const CHAR16*>(u"rd.dmg"), nullptr};
  EXPECT_EQ(LoadRamDisk(&path_only, &source.protocol, nullptr), EFI_UNSUPPORTED);
}

TEST(RamDiskMemory, NoKernelRegionIsReportedAndEndsTheBoot) {
  TestFirmware fw;
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  Volume volume;
  volume.fs.AddFile("\\rd.dmg", Image(0x100, 7));
  RamDiskRequest request{reinterpret_cast<const CHAR16*>(u"rd.dmg"), nullptr};
  EXPECT_EQ(LoadRamDisk(&request, nullptr, volume.root), kStatusBootEnding);
  EXPECT_NE(fw.ConsoleText().find("Could not allocate RAM disk memory"), std::string::npos);
}
