#include <cstring>
#include <map>

#include "memory/memory.h"
#include "options_fixture.h"

namespace {

// A network source serving files by the name in the file-path node of the requested path.
struct FakeNetwork {
  EFI_LOAD_FILE_PROTOCOL protocol{Serve};
  std::map<std::u16string, std::string> files;
  std::vector<std::u16string> requests;

  static std::u16string NameOf(EFI_DEVICE_PATH_PROTOCOL* path) {
    for (auto* n = path; !IsDevicePathEnd(n); n = NextDevicePathNode(n)) {
      if (n->Type == MEDIA_DEVICE_PATH && n->SubType == MEDIA_FILEPATH_DP) {
        std::u16string name((DevicePathNodeLength(n) - 4) / 2, u'\0');
        std::memcpy(name.data(), reinterpret_cast<uint8_t*>(n) + 4, name.size() * 2);
        return name.substr(0, name.find(u'\0'));
      }
    }
    return u"";
  }
  static EFI_STATUS EFIAPI Serve(EFI_LOAD_FILE_PROTOCOL* self, EFI_DEVICE_PATH_PROTOCOL* path, BOOLEAN, UINTN* size,
                                 VOID* buffer) {
    auto* net = reinterpret_cast<FakeNetwork*>(self);
    std::u16string name = NameOf(path);
    net->requests.push_back(name);
    auto it = net->files.find(name);
    if (it == net->files.end()) return EFI_NOT_FOUND;
    if (!buffer || *size < it->second.size()) {
      *size = it->second.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, it->second.data(), it->second.size());
    *size = it->second.size();
    return EFI_SUCCESS;
  }
};

class NetworkBootTest : public BooterFixture {
 protected:
  void SetUp() override {
    file_path_ = DevicePathBuilder().FilePath(u"\\boot\\hearth.efi").Build();
    std::vector<uint8_t> mac(33, 0);
    mac[0] = 0x52;
    mac[32] = 1;  // Ethernet
    InstallBooter(DevicePathBuilder().Acpi().Pci(0x19, 0).Node(MESSAGING_DEVICE_PATH, MSG_MAC_ADDR_DP, mac).Build());
  }
  FakeNetwork net_;
};

}  // namespace

TEST_F(NetworkBootTest, ReadsTheConfigurationOverTheNetworkAndSkipsRecoveryMode) {
  fw_.SetVariable(u"recovery-boot-mode", TarnBootGuid, "1");
  net_.files[u"com.tarn.Boot.plist"] = PlistDict(StringMember("Kernel Flags", "-v") + StringMember("RAM Disk", "root.dmg"));
  EXPECT_EQ(Process(u"", &net_.protocol), "-v");
  EXPECT_EQ(net_.requests.front(), u"\\boot\\com.tarn.Boot.plist");  // beside the booter first
  EXPECT_TRUE(BootModeFlags & kBootModeNetBoot);
  EXPECT_TRUE(BootModeFlags & kBootModeReleaseKernelCache);
  EXPECT_FALSE(BootModeFlags & kBootModeRecoveryRequested);
  // The RAM disk's device path: the booter's device with the booter's name replaced.
  ASSERT_NE(RamDiskDevicePath(), nullptr);
  EXPECT_EQ(FakeNetwork::NameOf(RamDiskDevicePath()), u"\\boot\\root.dmg");
  EXPECT_EQ(RamDiskDevicePath()->Type, ACPI_DEVICE_PATH);
}
