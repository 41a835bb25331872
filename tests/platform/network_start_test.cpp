// `hearth-source network`: the network device's load-file handle is found and hearth comes
// from it with the boot policy set, as a firmware boot manager loads a network boot option.
#include <gtest/gtest.h>

#include <vector>

#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "platform/network_files.h"
#include "platform/network_start.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

std::vector<uint8_t> Mac() { return std::vector<uint8_t>(32 + 1, 0x52); }
std::vector<uint8_t> Ipv4() { return std::vector<uint8_t>(23, 0); }

TEST(NetworkStart, PrefersTheIpv4LoadFileOfANetworkDevice) {
  TestFirmware fw;
  EFI_LOAD_FILE_PROTOCOL load_file{};
  auto disk = DevicePathBuilder().Acpi().Pci(2, 0).Sata(0).Build();
  auto mac = DevicePathBuilder().Acpi().Pci(3, 0).Node(MESSAGING_DEVICE_PATH, MSG_MAC_ADDR_DP, Mac()).Build();
  auto ipv4 = DevicePathBuilder()
                  .Acpi()
                  .Pci(3, 0)
                  .Node(MESSAGING_DEVICE_PATH, MSG_MAC_ADDR_DP, Mac())
                  .Node(MESSAGING_DEVICE_PATH, MSG_IPv4_DP, Ipv4())
                  .Build();
  EFI_HANDLE source = nullptr;
  EXPECT_EQ(FindNetworkBootSource(&source), EFI_NOT_FOUND);
  EFI_HANDLE on_disk = fw.InstallProtocol(nullptr, kEfiLoadFileProtocolGuid, &load_file);
  fw.InstallProtocol(on_disk, kEfiDevicePathProtocolGuid, disk.data());
  EXPECT_EQ(FindNetworkBootSource(&source), EFI_NOT_FOUND);
  EFI_HANDLE nic = fw.InstallProtocol(nullptr, kEfiLoadFileProtocolGuid, &load_file);
  fw.InstallProtocol(nic, kEfiDevicePathProtocolGuid, mac.data());
  EFI_HANDLE ip = fw.InstallProtocol(nullptr, kEfiLoadFileProtocolGuid, &load_file);
  fw.InstallProtocol(ip, kEfiDevicePathProtocolGuid, ipv4.data());
  ASSERT_EQ(FindNetworkBootSource(&source), EFI_SUCCESS);
  EXPECT_EQ(source, ip);

  bool started = false;
  fw.SetImageLoader([&](EFI_DEVICE_PATH_PROTOCOL* path, const void*, UINTN) -> std::optional<TestFirmware::ImageEntry> {
    if (reinterpret_cast<uint8_t*>(path) != ipv4.data()) return std::nullopt;
    return [&](EFI_HANDLE) {
      started = true;
      return EFI_ABORTED;
    };
  });
  EFI_STATUS returned = EFI_SUCCESS;
  ASSERT_EQ(LoadAndStartFromNetwork(source, &returned), EFI_SUCCESS);
  EXPECT_TRUE(started);
  EXPECT_EQ(returned, EFI_ABORTED);
}

TEST(NetworkFiles, FilePathsBecomeTftpNames) {
  char name[16];
  std::u16string path = u"\\x86_64\\prelinkedkernel";
  EXPECT_FALSE(NetworkFileName(path.data(), path.size(), name, sizeof(name)));  // 23 characters
  char big[64];
  ASSERT_TRUE(NetworkFileName(path.data(), path.size(), big, sizeof(big)));
  EXPECT_STREQ(big, "x86_64/prelinkedkernel");
  std::u16string plist = u"com.tarn.Boot.plist";
  ASSERT_TRUE(NetworkFileName(plist.data(), plist.size() + 1, big, sizeof(big)));  // stops at the NUL
  EXPECT_STREQ(big, "com.tarn.Boot.plist");
  std::u16string odd = u"caf\u00e9";
  EXPECT_FALSE(NetworkFileName(odd.data(), odd.size(), big, sizeof(big)));
  std::u16string root = u"\\";
  EXPECT_FALSE(NetworkFileName(root.data(), root.size(), big, sizeof(big)));
}

}  // namespace
