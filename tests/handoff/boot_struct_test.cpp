// The whole block: InitBootStruct and FinalizeBootStruct on the test firmware, read back as
// the kernel reads it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "efi/system_table.h"
#include "handoff/boot_struct.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"
#include "handoff/platform_init.h"
#include "lib/mem.h"
#include "testfw/memory_data_hub.h"
#include "testfw/memory_disk_io.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"
#include "tools/lib/device_tree_decode.h"

namespace {

constexpr UINT64 kKernelBase = 0xFFFFFF8002000000ull;

// Firmware tables in memory below 4 GiB: SMBIOS (2.x entry point) and ACPI (XSDT with a
// FADT revision 4, its FACS, and an MCFG).
class PlatformTables {
 public:
  explicit PlatformTables(TestFirmware& fw) {
    EFI_PHYSICAL_ADDRESS low = 0xFFFFFFFF;
    EXPECT_EQ(gBS->AllocatePages(AllocateMaxAddress, EfiACPIReclaimMemory, 2, &low), EFI_SUCCESS);
    base_ = reinterpret_cast<uint8_t*>(low);
    std::memset(base_, 0, 2 * 4096);
    BuildSmbios(fw);
    BuildAcpi(fw);
  }

 private:
  uint8_t* At(size_t offset) { return base_ + offset; }

  void BuildSmbios(TestFirmware& fw) {
    // Type 1 with the system UUID, two type-17 devices (8 GiB and 512 KiB), the end.
    std::vector<uint8_t> t;
    std::vector<uint8_t> type1(27, 0);
    type1[0] = 1;
    type1[1] = 27;
    for (int i = 0; i < 16; ++i) type1[8 + i] = uint8_t(0x10 + i);
    t.insert(t.end(), type1.begin(), type1.end());
    t.insert(t.end(), {0, 0});
    for (uint16_t size : {uint16_t(0x2000), uint16_t(0x8200)}) {
      std::vector<uint8_t> type17(21, 0);
      type17[0] = 17;
      type17[1] = 21;
      StoreLe16(&type17[12], size);
      t.insert(t.end(), type17.begin(), type17.end());
      t.insert(t.end(), {0, 0});
    }
    t.insert(t.end(), {127, 4, 0, 0, 0, 0});
    std::memcpy(At(0x100), t.data(), t.size());
    uint8_t* ep = At(0);
    std::memcpy(ep, "_SM_", 4);
    StoreLe16(ep + 0x16, static_cast<uint16_t>(t.size()));
    StoreLe32(ep + 0x18, static_cast<uint32_t>(reinterpret_cast<uint64_t>(At(0x100))));
    fw.SetConfigurationTable(kEfiSmbiosTableGuid, ep);
  }

  uint8_t* Table(size_t offset, const char* signature, uint32_t length, uint8_t revision) {
    uint8_t* t = At(offset);
    std::memcpy(t, signature, 4);
    StoreLe32(t + 4, length);
    t[8] = revision;
    return t;
  }

  void BuildAcpi(TestFirmware& fw) {
    uint8_t* facs = Table(0x400, "FACS", 64, 2);
    StoreLe32(facs + 8, 0xC0FFEE11);
    uint8_t* fadt = Table(0x500, "FACP", 244, 4);
    StoreLe64(fadt + 132, reinterpret_cast<uint64_t>(facs));
    uint8_t* mcfg = Table(0x700, "MCFG", 60, 1);
    StoreLe64(mcfg + 44, 0xE0000000);
    mcfg[55] = 0x3F;
    uint8_t* xsdt = Table(0x800, "XSDT", 36 + 16, 1);
    StoreLe64(xsdt + 36, reinterpret_cast<uint64_t>(fadt));
    StoreLe64(xsdt + 44, reinterpret_cast<uint64_t>(mcfg));
    uint8_t* rsdp = At(0x900);
    std::memcpy(rsdp, "RSD PTR ", 8);
    rsdp[15] = 2;
    StoreLe64(rsdp + 24, reinterpret_cast<uint64_t>(xsdt));
    fw.SetConfigurationTable(kEfiAcpi20TableGuid, rsdp);
  }

  uint8_t* base_;
};

std::vector<uint8_t> HfsPartition() {
  std::vector<uint8_t> disk(4096, 0);
  std::memcpy(&disk[1024], "H+", 2);
  const uint8_t id[8] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
  std::memcpy(&disk[1024 + 104], id, 8);
  return disk;
}

std::string Text(const DecodedDeviceTreeNode& node, const char* name) {
  const DecodedDeviceTreeProperty* p = node.Find(name);
  if (!p) return "<none>";
  std::string text(p->value.begin(), p->value.end());
  if (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

const DecodedDeviceTreeNode* Child(const DecodedDeviceTreeNode& node, const std::string& name) {
  for (auto& child : node.children) {
    if (child.Name() == name) return &child;
  }
  return nullptr;
}

// The stages before the block: device tree, SMBIOS facts, the kernel in its region.
struct BootFixture {
  explicit BootFixture(TestFirmware& fw) : tables(fw), disk(HfsPartition()) {
    hub.AddPlatformProperty(u"Model", {'T', 0, 'x', 0, '1', 0, 0, 0});
    hub.AddPlatformProperty(u"FSBFrequency", {0x00, 0xE1, 0xF5, 0x05});
    EXPECT_EQ(InitDeviceTree(), EFI_SUCCESS);
    InitMemoryConfig();
    UINT64 size = 0x20000, address = kKernelBase;
    EXPECT_NE(KernelMemoryAllocate(&size, &address), 0u);
    device_path = DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(2).Build();
    file_path = DevicePathBuilder().FilePath(u"\\EFI\\BOOT\\hearth.efi").Build();
    image.DeviceHandle = disk.Handle();
    image.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path.data());
    inputs.loaded_image = &image;
    inputs.boot_device_path = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(device_path.data());
    inputs.command_line = "-v debug=0x100";
    inputs.kernel_file_path = u"\\System\\Library\\Caches\\kernelcache";
    inputs.kernel_adler32 = 0x1234ABCD;
    inputs.video = {0x80000000, 1, 4096, 1024, 768, 32};
    inputs.hidpi = true;
  }

  PlatformTables tables;
  MemoryDataHub hub;
  MemoryDiskIo disk;
  std::vector<uint8_t> device_path, file_path;
  EFI_LOADED_IMAGE_PROTOCOL image{};
  BootStructInputs inputs{};
};

}  // namespace

TEST(BootStruct, WholeBlockAndFlattenedTree) {
  TestFirmware fw;
  BootFixture boot(fw);
  fw.SetVariable(u"csr-active-config", TarnBootGuid, 7, {0x67, 0, 0, 0});
  fw.SetVariable(u"IASCurrentInstallPhase", TarnVendorGuid, "Install");
  fw.SetVariable(u"IASInstallPhaseList", TarnVendorGuid,
                 "<array><dict><key>InstallPhase</key><string>Copy</string><key>InstallPhasePercentageKey</key>"
                 "<integer>20</integer></dict><dict><key>InstallPhase</key><string>Install</string>"
                 "<key>InstallPhasePercentageKey</key><integer>30</integer></dict></array>");
  BootModeFlags = kBootModeBlackMode;
  BootArgs* args = nullptr;
  auto result = fw.Run([&] {
    InitBootStruct(boot.inputs);
    args = FinalizeBootStruct(boot.inputs);
    return EFI_SUCCESS;
  });
  ASSERT_EQ(result.how, TestFirmware::RunResult::How::kReturned) << fw.ConsoleText();
  ASSERT_NE(args, nullptr);
  EXPECT_EQ(args, gBootArgs);
  EXPECT_EQ(args->revision, 0);
  EXPECT_EQ(args->version, 2);
  EXPECT_EQ(args->efiMode, 64);
  EXPECT_EQ(args->flags, 0x30 | 0x8 | 0x100 | 0x2 | 0x1 | 0x4);
  EXPECT_EQ(args->csrActiveConfig, 0x67u);
  EXPECT_EQ(args->progressMeterStart, 13107);
  EXPECT_EQ(args->progressMeterEnd, 32767);
  EXPECT_EQ(args->physicalMemorySize, (8ull << 30) + (512ull << 10));
  EXPECT_EQ(args->fsbFrequency, 100000000u);
  EXPECT_EQ(args->pciConfigBase, 0xE0000000u);
  EXPECT_EQ(args->pciConfigEndBus, 0x3Fu);
  EXPECT_EQ(args->video.width, 1024u);
  EXPECT_EQ(args->keyStoreDataStart, 0u);
  EXPECT_STREQ(args->commandLine, "-v debug=0x100");
  EXPECT_NE(args->memoryMap, 0u);
  EXPECT_NE(args->systemTable, 0u);
  EXPECT_TRUE(fw.BootServicesExited());
  auto platform_uuid = fw.GetVariable(u"platform-uuid", TarnBootGuid);
  ASSERT_TRUE(platform_uuid.has_value());
  EXPECT_EQ((*platform_uuid)[0], 0x10);

  ASSERT_NE(args->deviceTree, 0u);
  DecodedDeviceTreeNode root;
  std::string error;
  ASSERT_TRUE(DecodeDeviceTree(reinterpret_cast<const uint8_t*>(static_cast<uintptr_t>(args->deviceTree)),
                               args->deviceTreeLength, &root, &error))
      << error;
  EXPECT_EQ(Text(root, "compatible"), "ACPI");
  EXPECT_EQ(Text(root, "model"), "ACPI");
  const DecodedDeviceTreeNode* chosen = Child(root, "chosen");
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(Text(*chosen, "boot-uuid"), "DE53349F-21AD-3C08-9044-AE10CD9587D3");
  EXPECT_EQ(Text(*chosen, "boot-file"), "\\System\\Library\\Caches\\kernelcache");
  EXPECT_EQ(Text(*chosen, "boot-args"), "-v debug=0x100");
  EXPECT_EQ(Text(*chosen, "booter-name"), "hearth.efi");
  EXPECT_EQ(Text(*chosen, "booter-version").rfind("version:", 0), 0u);
  EXPECT_NE(chosen->Find("booter-build-time"), nullptr);
  EXPECT_EQ(chosen->Find("booter-repository"), nullptr);
  ASSERT_NE(chosen->Find("random-seed"), nullptr);
  EXPECT_EQ(chosen->Find("random-seed")->value.size(), 64u);
  EXPECT_EQ(chosen->Find("machine-signature")->value, (std::vector<uint8_t>{0x11, 0xEE, 0xFF, 0xC0}));
  EXPECT_EQ(chosen->Find("boot-kernelcache-adler32")->value, (std::vector<uint8_t>{0xCD, 0xAB, 0x34, 0x12}));
  EXPECT_EQ(chosen->Find("boot-device-path")->value, boot.device_path);
  EXPECT_EQ(chosen->Find("boot-file-path")->value, boot.file_path);
  EXPECT_NE(Child(*chosen, "memory-map"), nullptr);

  const DecodedDeviceTreeNode* efi = Child(root, "efi");
  ASSERT_NE(efi, nullptr);
  EXPECT_EQ(Text(*efi, "firmware-abi"), "EFI64");
  EXPECT_NE(efi->Find("firmware-vendor"), nullptr);
  ASSERT_NE(Child(*efi, "kernel-compatibility"), nullptr);
  EXPECT_EQ(Child(*efi, "kernel-compatibility")->Find("x86_64")->value, (std::vector<uint8_t>{1, 0, 0, 0}));
  ASSERT_NE(Child(*efi, "runtime-services"), nullptr);
  const DecodedDeviceTreeNode* tables = Child(*efi, "configuration-table");
  ASSERT_NE(tables, nullptr);
  const DecodedDeviceTreeNode* acpi = Child(*tables, "8868E871-E4F1-11D3-BC22-0080C73C8881");
  ASSERT_NE(acpi, nullptr);
  EXPECT_EQ(Text(*acpi, "alias"), "ACPI_20");
  const DecodedDeviceTreeNode* platform = Child(*efi, "platform");
  ASSERT_NE(platform, nullptr);
  EXPECT_EQ(platform->Find("FSBFrequency")->value.size(), 4u);
  EXPECT_EQ(DeviceTreeRoot(), nullptr) << "the in-memory tree is freed after flattening";
}

TEST(BootStruct, CommandLineEndsWithinItsField) {
  for (size_t length : {0u, 1u, 1022u, 1023u, 1024u, 2000u}) {
    TestFirmware fw;
    BootFixture boot(fw);
    std::string command_line(length, 'k');
    for (size_t i = 7; i < length; i += 8) command_line[i] = ' ';
    boot.inputs.command_line = command_line.c_str();
    InitBootStruct(boot.inputs);
    ASSERT_NE(gBootArgs, nullptr);
    std::memset(gBootArgs->commandLine, 'x', sizeof(gBootArgs->commandLine));
    PublishPlatformProperties(boot.inputs, gBootArgs);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(gBootArgs);
    EXPECT_EQ(block[1031], 0) << length;
    EXPECT_EQ(std::string(gBootArgs->commandLine), command_line.substr(0, 1023)) << length;
    DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", false);
    const DeviceTreeProperty* boot_args = DeviceTreeFindProperty(chosen, "boot-args");
    ASSERT_NE(boot_args, nullptr);
    EXPECT_EQ(boot_args->length, std::min<size_t>(length, 1023) + 1) << length;
    DeviceTreeFree();
  }
}

TEST(BootStruct, AcpiReservedAddressFromTheFirmwareGlobal) {
  const EFI_GUID acpi_global = {0xAF9FFD67, 0xEC10, 0x488A, {0x9D, 0xFC, 0x6C, 0xBF, 0x5E, 0xE2, 0x2C, 0x2E}};
  struct Case {
    bool features;
    uint32_t feature_bits, mask;
    UINT64 expected;
  } cases[] = {
      {true, 0, 0xFFFFFFFF, 0x7F5A0000},
      {true, 0x80000000, 0x7FFFFFFF, 0x7F5A0000},
      {true, 0x80000000, 0x80000000, 0},  // the firmware reserves the area itself
      {false, 0, 0, 0},
  };
  for (auto& c : cases) {
    TestFirmware fw;
    BootFixture boot(fw);
    std::vector<uint8_t> global(32, 0);
    StoreLe64(&global[24], 0x7F5A0000);
    std::vector<uint8_t> pointer(8);
    StoreLe64(pointer.data(), reinterpret_cast<uint64_t>(global.data()));
    fw.SetVariable(u"AcpiGlobalVariable", acpi_global, 6, pointer);
    if (c.features) {
      std::vector<uint8_t> bits(4), mask(4);
      StoreLe32(bits.data(), c.feature_bits);
      StoreLe32(mask.data(), c.mask);
      fw.SetVariable(u"FirmwareFeatures", TarnVendorGuid, 6, bits);
      fw.SetVariable(u"FirmwareFeaturesMask", TarnVendorGuid, 6, mask);
    }
    InitBootStruct(boot.inputs);
    EXPECT_EQ(gAcpiReservedAddress, c.expected);
    DeviceTreeFree();
  }
}
