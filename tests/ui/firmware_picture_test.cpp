#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "efi/protocols/firmware_volume.h"
#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "ui/firmware_picture.h"

namespace {

EFI_GUID Guid(uint8_t n) { return EFI_GUID{0x11111111u * n, 0x2222, 0x3333, {n, 1, 2, 3, 4, 5, 6, 7}}; }

std::vector<uint8_t> Record(const std::u16string& name, uint8_t n) {
  std::vector<uint8_t> r(80, 0);
  EFI_GUID g = Guid(n);
  std::memcpy(r.data(), &g, 16);
  for (size_t i = 0; i < name.size() && i < 32; ++i) StoreLe16(r.data() + 16 + 2 * i, name[i]);
  return r;
}

std::vector<uint8_t> Directory(const std::vector<std::vector<uint8_t>>& records) {
  std::vector<uint8_t> out;
  for (const auto& r : records) out.insert(out.end(), r.begin(), r.end());
  return out;
}

bool SameGuid(const EFI_GUID& a, const EFI_GUID& b) { return std::memcmp(&a, &b, sizeof(a)) == 0; }

TEST(PictureDirectory, FindsNamesUpToTheEmptyRecordAndPrefersTheScaledOne) {
  std::vector<uint8_t> dir = Directory({Record(u"larkspur", 1), Record(u"larkspur_2x", 2), Record(u"lock", 3),
                                        Record(u"", 4), Record(u"hidden", 5)});
  ByteSpan span(dir.data(), dir.size());
  EFI_GUID g{};
  BOOLEAN scaled = TRUE;
  ASSERT_EQ(FirmwarePictureDirectoryLookup(span, "larkspur", 1, &g, &scaled), EFI_SUCCESS);
  EXPECT_TRUE(SameGuid(g, Guid(1)));
  EXPECT_FALSE(scaled);
  ASSERT_EQ(FirmwarePictureDirectoryLookup(span, "larkspur", 2, &g, &scaled), EFI_SUCCESS);
  EXPECT_TRUE(SameGuid(g, Guid(2)));
  EXPECT_TRUE(scaled);
  ASSERT_EQ(FirmwarePictureDirectoryLookup(span, "lock", 2, &g, &scaled), EFI_SUCCESS);  // no lock_2x
  EXPECT_TRUE(SameGuid(g, Guid(3)));
  EXPECT_FALSE(scaled);
  EXPECT_EQ(FirmwarePictureDirectoryFind(span, "hidden", &g), EFI_NOT_FOUND);
  EXPECT_EQ(FirmwarePictureDirectoryFind(span, "appl", &g), EFI_NOT_FOUND);
}

TEST(PictureDirectory, ADirectoryWithoutItsEndRecordOrCutShortStaysInside) {
  std::vector<uint8_t> dir = Directory({Record(u"a", 1), Record(std::u16string(32, u'x'), 2), Record(u"b", 3)});
  dir.resize(dir.size() - 1);  // the last record is cut
  ByteSpan span(dir.data(), dir.size());
  EFI_GUID g{};
  EXPECT_EQ(FirmwarePictureDirectoryFind(span, "a", &g), EFI_SUCCESS);
  EXPECT_EQ(FirmwarePictureDirectoryFind(span, std::string(32, 'x').c_str(), &g), EFI_NOT_FOUND);  // no terminator
  EXPECT_EQ(FirmwarePictureDirectoryFind(span, "b", &g), EFI_NOT_FOUND);
  EXPECT_EQ(FirmwarePictureDirectoryFind(span, nullptr, &g), EFI_INVALID_PARAMETER);
}

// A firmware volume holding raw sections by file GUID; some volumes fail other ways.
struct FakeVolume {
  EFI_FIRMWARE_VOLUME2_PROTOCOL protocol{};
  std::map<std::string, std::string> files;
  EFI_STATUS failure = EFI_SUCCESS;
  int reads = 0;

  static std::string Key(const EFI_GUID& g) { return std::string(reinterpret_cast<const char*>(&g), sizeof(g)); }
  static EFI_STATUS EFIAPI ReadSection(const EFI_FIRMWARE_VOLUME2_PROTOCOL* self, const EFI_GUID* name,
                                       EFI_SECTION_TYPE type, UINTN instance, VOID** buffer, UINTN* size, UINT32*) {
    auto* v = reinterpret_cast<FakeVolume*>(const_cast<EFI_FIRMWARE_VOLUME2_PROTOCOL*>(self));
    ++v->reads;
    if (EFI_ERROR(v->failure)) return v->failure;
    auto it = v->files.find(Key(*name));
    if (type != EFI_SECTION_RAW || instance != 0 || it == v->files.end()) return EFI_NOT_FOUND;
    gBS->AllocatePool(EfiBootServicesData, it->second.size(), buffer);
    std::memcpy(*buffer, it->second.data(), it->second.size());
    *size = it->second.size();
    return EFI_SUCCESS;
  }
  FakeVolume() { protocol.ReadSection = ReadSection; }
  void Install() { TestFirmware::Current().InstallProtocol(nullptr, kEfiFirmwareVolume2ProtocolGuid, &protocol); }
};

TEST(ReadFirmwarePicture, TriesEveryVolumeUntilOneHasTheFile) {
  TestFirmware fw;
  FakeVolume empty, holder, broken;
  holder.files[FakeVolume::Key(Guid(7))] = "PNG bytes";
  broken.failure = EFI_DEVICE_ERROR;
  empty.Install();
  holder.Install();
  broken.Install();
  void* data = nullptr;
  UINTN size = 0;
  EFI_GUID wanted = Guid(7);
  ASSERT_EQ(ReadFirmwarePicture(&wanted, &data, &size), EFI_SUCCESS);
  EXPECT_EQ(std::string(static_cast<char*>(data), size), "PNG bytes");
  EXPECT_EQ(broken.reads, 0);  // the search stops at the first volume that has it
  PoolFree(data);
  EFI_GUID absent = Guid(8);
  EXPECT_EQ(ReadFirmwarePicture(&absent, &data, &size), EFI_DEVICE_ERROR);  // the broken volume ends it
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

}  // namespace
