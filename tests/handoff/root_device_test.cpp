#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "config/plist.h"
#include "diag/log.h"
#include "devicetree/device_tree.h"
#include "handoff/hfs_uuid.h"
#include "handoff/platform_init.h"
#include "handoff/root_device.h"
#include "testfw/memory_disk_io.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

// Name-based UUIDs of these identifiers, computed apart from the loader:
//   UUID(bytes=md5(namespace.bytes + identifier).digest(), version=3), upper case.
constexpr uint8_t kIdentifierA[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
constexpr char kUuidA[] = "DE53349F-21AD-3C08-9044-AE10CD9587D3";
constexpr uint8_t kIdentifierB[8] = {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10};
constexpr char kUuidB[] = "AF23C93B-CF2D-3CBA-9606-1CE1F8AD21B3";

std::string Property(const char* path, const char* name) {
  DeviceTreeNode* node = DeviceTreeFindNode(path, false);
  const DeviceTreeProperty* p = node ? DeviceTreeFindProperty(node, name) : nullptr;
  if (!p) return "<none>";
  std::string value(static_cast<const char*>(p->value), p->length);
  if (!value.empty() && value.back() == 0) value.pop_back();
  return value;
}

// A boot configuration parsed from text that outlives the tree.
class Config {
 public:
  explicit Config(const std::string& members) : text_("<plist><dict>" + members + "</dict></plist>") {
    EXPECT_EQ(PlistParseDictionary(text_.data(), text_.size(), &dict_), EFI_SUCCESS);
  }
  ~Config() { PlistFree(dict_); }
  const PlistNode* dict() const { return dict_; }

 private:
  std::string text_;
  PlistNode* dict_ = nullptr;
};

void PutBe16(std::vector<uint8_t>& d, size_t at, uint16_t v) {
  d[at] = uint8_t(v >> 8);
  d[at + 1] = uint8_t(v);
}

void PutBe32(std::vector<uint8_t>& d, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (24 - 8 * i));
}

// A partition with an HFS Plus header at 1024 + base.
std::vector<uint8_t> PlusVolume(const uint8_t identifier[8], size_t base = 0, const char* signature = "H+") {
  std::vector<uint8_t> disk(base + 4096, 0);
  std::memcpy(&disk[base + 1024], signature, 2);
  std::memcpy(&disk[base + 1024 + 104], identifier, 8);
  return disk;
}

// An HFS wrapper whose embedded volume starts at sector 6 plus 3 blocks of 4096 bytes.
std::vector<uint8_t> WrappedVolume(const uint8_t identifier[8]) {
  size_t embedded = 6 * 512 + 3 * 4096;
  std::vector<uint8_t> disk = PlusVolume(identifier, embedded);
  std::memcpy(&disk[1024], "BD", 2);
  PutBe32(disk, 1024 + 20, 4096);
  PutBe16(disk, 1024 + 28, 6);
  std::memcpy(&disk[1024 + 124], "H+", 2);
  PutBe16(disk, 1024 + 126, 3);
  return disk;
}

std::vector<uint8_t> GptPath() {
  std::vector<uint8_t> hd(38, 0);
  hd[0] = 2;  // partition number
  // Signature {11223344-5566-7788-99AA-BBCCDDEEFF00} in the firmware's byte order.
  const uint8_t guid[16] = {0x44, 0x33, 0x22, 0x11, 0x66, 0x55, 0x88, 0x77,
                            0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00};
  std::memcpy(&hd[20], guid, 16);
  hd[36] = 2;
  hd[37] = 2;
  return DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).Node(MEDIA_DEVICE_PATH, MEDIA_HARDDRIVE_DP, hd).Build();
}

std::vector<uint8_t> MacPath(uint8_t interface_type) {
  std::vector<uint8_t> mac(33, 0);
  for (int i = 0; i < 32; ++i) mac[i] = uint8_t(0xA0 + i);
  mac[32] = interface_type;
  return DevicePathBuilder().Acpi().Pci(3, 0).Node(MESSAGING_DEVICE_PATH, MSG_MAC_ADDR_DP, mac).Build();
}

const EFI_DEVICE_PATH_PROTOCOL* AsPath(const std::vector<uint8_t>& bytes) {
  return reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(bytes.data());
}

}  // namespace

TEST(HfsUuid, NameBasedUuidOfTheIdentifier) {
  char text[kVolumeUuidTextSize];
  HfsVolumeUuidText(kIdentifierA, text);
  EXPECT_STREQ(text, kUuidA);
  HfsVolumeUuidText(kIdentifierB, text);
  EXPECT_STREQ(text, kUuidB);
}

TEST(HfsUuid, PlainWrappedAndForeignVolumes) {
  TestFirmware fw;
  struct Case {
    const char* what;
    std::vector<uint8_t> disk;
    EFI_STATUS status;
    const char* uuid;
  } cases[] = {
      {"H+", PlusVolume(kIdentifierA), EFI_SUCCESS, kUuidA},
      {"HX", PlusVolume(kIdentifierB, 0, "HX"), EFI_SUCCESS, kUuidB},
      {"wrapper", WrappedVolume(kIdentifierB), EFI_SUCCESS, kUuidB},
      {"other file system", PlusVolume(kIdentifierA, 0, "XY"), EFI_NOT_FOUND, nullptr},
      {"short partition", std::vector<uint8_t>(1200, 0), EFI_INVALID_PARAMETER, nullptr},
  };
  // Also on a partition with Block I/O alone, as U-Boot's UEFI offers them.
  for (bool block_io_only : {false, true}) {
    for (auto& c : cases) {
      MemoryDiskIo disk(c.disk);
      if (block_io_only) fw.UninstallProtocol(disk.Handle(), kEfiDiskIoProtocolGuid);
      char text[kVolumeUuidTextSize] = {};
      EXPECT_EQ(HfsBootVolumeUuid(disk.Handle(), text), c.status) << c.what << (block_io_only ? ", block I/O only" : "");
      if (c.uuid) {
        EXPECT_STREQ(text, c.uuid) << c.what;
      }
    }
  }
  // A wrapper whose embedded volume lies beyond the partition is a failed read, not a crash.
  std::vector<uint8_t> wrapped = WrappedVolume(kIdentifierA);
  wrapped.resize(8192);
  MemoryDiskIo disk(wrapped);
  char text[kVolumeUuidTextSize];
  EXPECT_TRUE(EFI_ERROR(HfsBootVolumeUuid(disk.Handle(), text)));
}

TEST(RootDevice, ChoosesOneSourceInOrder) {
  struct Case {
    const char* what;
    const char* command_line;
    std::string config;
    std::vector<uint8_t> path;
    bool volume;
    const char* root_matching;
    const char* boot_uuid;
  } cases[] = {
      {"rd suppresses all", "-v rd=disk1s2", "<key>Root UUID</key><string>U-1</string>", GptPath(), true, nullptr,
       nullptr},
      {"Root Match wins", "-v", "<key>Root UUID</key><string>U-1</string><key>Root Match</key><dict><key>A</key><string>b</string></dict>",
       GptPath(), true, "<dict><key>A</key><string>b</string></dict>", nullptr},
      {"Root UUID", "rdx=1", "<key>Root UUID</key><string>U-1</string>", GptPath(), true, nullptr, "U-1"},
      {"HFS volume", nullptr, "", GptPath(), true, nullptr, kUuidA},
      {"GPT partition", nullptr, "", GptPath(), false, nullptr, "11223344-5566-7788-99AA-BBCCDDEEFF00"},
      {"nothing", nullptr, "", DevicePathBuilder().Acpi().Build(), false, nullptr, nullptr},
  };
  for (auto& c : cases) {
    TestFirmware fw;
    LogSetSinks(kLogSinkConsole, kLogSinkEnable);
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    Config config(c.config);
    MemoryDiskIo disk(c.volume ? PlusVolume(kIdentifierA) : std::vector<uint8_t>(4096, 0));
    ASSERT_EQ(PublishRootDevice(c.command_line, config.dict(), AsPath(c.path), disk.Handle()), EFI_SUCCESS);
    EXPECT_EQ(Property("/chosen", "root-matching"), c.root_matching ? c.root_matching : "<none>") << c.what;
    EXPECT_EQ(Property("/chosen", "boot-uuid"), c.boot_uuid ? c.boot_uuid : "<none>") << c.what;
    if (!c.root_matching && !c.boot_uuid && !c.command_line) {
      EXPECT_NE(fw.ConsoleText().find("(no root UUID found for boot device)"), std::string::npos) << fw.ConsoleText();
    }
    DeviceTreeFree();
  }
}

TEST(RootDevice, NetworkBootMatchesTheInterfaceAddress) {
  for (uint8_t type : {1, 6}) {
    TestFirmware fw;
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    std::vector<uint8_t> path = MacPath(type);
    ASSERT_EQ(PublishRootDevice("", nullptr, AsPath(path), nullptr), EFI_SUCCESS);
    std::string address = type < 2 ? "a0a1a2a3a4a5" : "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf";
    EXPECT_EQ(Property("/chosen", "root-matching"),
              "<dict><key>IOProviderClass</key><string>IONetworkInterface</string><key>IOParentMatch</key><dict>"
              "<key>IOPropertyMatch</key><dict><key>IOMACAddress</key><data format=\"hex\">" +
                  address + "</data></dict></dict></dict>");
    const DeviceTreeProperty* net = DeviceTreeFindProperty(DeviceTreeRoot(), "net-boot");
    ASSERT_NE(net, nullptr);
    EXPECT_EQ(net->length, 0u);
    EXPECT_EQ(Property("/chosen", "boot-uuid"), "<none>");
    DeviceTreeFree();
  }
}
