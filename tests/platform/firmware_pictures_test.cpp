// The firmware-picture stand-in: its settings line, and hearth's own picture lookup
// (ui/firmware_picture.h) finding the pointer's pictures through it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "efi/protocols/loaded_image.h"
#include "hw/fake/hw_fake.h"
#include "memory/memory.h"
#include "platform/firmware_pictures.h"
#include "platform/settings_parser.h"
#include "tests/platform/fake_volume.h"
#include "testfw/test_firmware.h"
#include "ui/firmware_picture.h"

namespace {

struct Pictures {
  std::vector<SettingsFirmwarePicture> seen;
  std::vector<std::string> malformed;
};

Pictures ParsePictures(const std::string& text) {
  Pictures p;
  SettingsSink sink{&p, nullptr, nullptr, [](void* ctx, size_t, const char* reason) {
                      static_cast<Pictures*>(ctx)->malformed.push_back(reason);
                    }};
  sink.firmware_picture = [](void* ctx, const SettingsFirmwarePicture& picture) {
    static_cast<Pictures*>(ctx)->seen.push_back(picture);
  };
  std::vector<uint8_t> scratch(SettingsScratchSize(text.size()));
  ParsePlatformSettings(ByteSpan(text.data(), text.size()), SettingsScratch{scratch.data(), scratch.size()}, sink);
  return p;
}

TEST(FirmwarePictures, SettingsLines) {
  Pictures good = ParsePictures("firmware-picture loginui_cursor \\EFI\\BOOT\\cursor.png\n"
                                "firmware-picture loginui_cursor_2x \"\\\\EFI\\\\BOOT\\\\cursor 2x.png\"\n");
  ASSERT_EQ(good.seen.size(), 2u);
  EXPECT_STREQ(good.seen[0].name, "loginui_cursor");
  EXPECT_EQ(std::u16string(good.seen[0].path), u"\\EFI\\BOOT\\cursor.png");
  EXPECT_EQ(std::u16string(good.seen[1].path), u"\\EFI\\BOOT\\cursor 2x.png");
  Pictures bad = ParsePictures("firmware-picture cursor\nfirmware-picture \"cursor\" \\c.png\n"
                               "firmware-picture " + std::string(32, 'n') + " \\c.png\n"
                               "firmware-picture cursor c.png\nfirmware-picture cursor \\c.png extra\n");
  EXPECT_TRUE(bad.seen.empty());
  EXPECT_EQ(bad.malformed.size(), 5u);
}

SettingsFirmwarePicture Picture(const char* name, const char16_t* path) {
  SettingsFirmwarePicture p{};
  std::strncpy(p.name, name, sizeof(p.name) - 1);
  std::u16string text(path);
  std::copy(text.begin(), text.end(), p.path);
  return p;
}

std::vector<uint8_t> Read(const EFI_GUID& file) {
  void* data = nullptr;
  UINTN size = 0;
  if (ReadFirmwarePicture(&file, &data, &size) != EFI_SUCCESS) return {};
  std::vector<uint8_t> out(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
  PoolFree(data);
  return out;
}

TEST(FirmwarePictures, HearthFindsThePointerThroughTheDirectory) {
  TestFirmware fw;
  FakeVolume own{fw, 1};
  EFI_LOADED_IMAGE_PROTOCOL loaded_image{};
  loaded_image.DeviceHandle = own.handle();
  fw.InstallProtocol(fw.ImageHandle(), kEfiLoadedImageProtocolGuid, &loaded_image);
  const std::vector<uint8_t> one = {'P', 'N', 'G', '1'}, two = {'P', 'N', 'G', '2', '2'};
  own.AddFile(u"\\EFI\\BOOT\\cursor.png", one);
  own.AddFile(u"\\EFI\\BOOT\\cursor@2x.png", two);
  HwFakeClearSerialOutput();

  EXPECT_EQ(InstallFirmwarePictures(), EFI_NOT_FOUND);  // nothing asked for
  ASSERT_EQ(FirmwarePictureRequest(Picture("loginui_cursor", u"\\EFI\\BOOT\\cursor.png")), EFI_SUCCESS);
  ASSERT_EQ(FirmwarePictureRequest(Picture("missing", u"\\EFI\\BOOT\\none.png")), EFI_SUCCESS);
  ASSERT_EQ(FirmwarePictureRequest(Picture("loginui_cursor_2x", u"\\EFI\\BOOT\\cursor@2x.png")), EFI_SUCCESS);
  ASSERT_EQ(InstallFirmwarePictures(), EFI_SUCCESS);

  std::vector<uint8_t> directory = Read(kFirmwarePictureDirectoryGuid);
  ASSERT_EQ(directory.size(), 3 * kPictureDirectoryRecordSize);  // two pictures and the end
  EFI_GUID file{};
  BOOLEAN scaled = FALSE;
  ASSERT_EQ(FirmwarePictureDirectoryLookup(ByteSpan(directory.data(), directory.size()), "loginui_cursor", 2, &file,
                                           &scaled),
            EFI_SUCCESS);
  EXPECT_TRUE(scaled);
  EXPECT_EQ(Read(file), two);
  ASSERT_EQ(FirmwarePictureDirectoryLookup(ByteSpan(directory.data(), directory.size()), "loginui_cursor", 1, &file,
                                           &scaled),
            EFI_SUCCESS);
  EXPECT_FALSE(scaled);
  EXPECT_EQ(Read(file), one);
  EXPECT_EQ(FirmwarePictureDirectoryFind(ByteSpan(directory.data(), directory.size()), "missing", &file),
            EFI_NOT_FOUND);

  const std::string& serial = HwFakeSerialOutput();
  EXPECT_NE(serial.find("platform: firmware picture loginui_cursor (4 bytes)\n"), std::string::npos) << serial;
  EXPECT_NE(serial.find("platform: firmware picture missing not read: Not Found"), std::string::npos) << serial;
  EXPECT_NE(serial.find("platform: firmware pictures: read GuidList (240 bytes)\n"), std::string::npos) << serial;
  EXPECT_NE(serial.find("platform: firmware pictures: read loginui_cursor_2x (5 bytes)\n"), std::string::npos);
  RemoveFirmwarePictures();
  EXPECT_TRUE(Read(kFirmwarePictureDirectoryGuid).empty());
  EXPECT_EQ(InstallFirmwarePictures(), EFI_NOT_FOUND);
}

}  // namespace
