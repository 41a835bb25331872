// Platform facts the hand-off gathers from firmware memory, variables and protocols.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "flags/guids.h"
#include "efi/system_table.h"
#include "efi/protocols/tarn_device_properties.h"
#include "efi/protocols/tarn_netboot_info.h"
#include "devicetree/device_tree.h"
#include "memory/memory.h"
#include "handoff/platform_facts.h"
#include "handoff/platform_init.h"
#include "hw/fake/hw_fake.h"
#include "lib/mem.h"
#include "testfw/memory_data_hub.h"
#include "testfw/memory_file_system.h"
#include "testfw/memory_smc.h"
#include "testfw/test_firmware.h"

namespace {

constexpr UINT64 kKernelBase = 0xFFFFFF8002000000ull;
constexpr EFI_GUID kRamDiskVendor = {0x004B07E8, 0x0B9C, 0x427E, {0xB0, 0xD4, 0xA4, 0x66, 0xE6, 0xE5, 0x7A, 0x62}};

void StartKernelRegion() {
  UINT64 size = 0x10000, address = kKernelBase;
  ASSERT_NE(KernelMemoryAllocate(&size, &address), 0u);
}

const DeviceTreeProperty* Find(const char* path, const char* name) {
  DeviceTreeNode* node = DeviceTreeFindNode(path, false);
  return node ? DeviceTreeFindProperty(node, name) : nullptr;
}

std::vector<uint8_t> Value(const char* path, const char* name) {
  const DeviceTreeProperty* p = Find(path, name);
  if (!p) return {};
  auto* bytes = static_cast<const uint8_t*>(p->value);
  return std::vector<uint8_t>(bytes, bytes + p->length);
}

std::vector<uint8_t> Note(uint64_t size, uint64_t address) {
  std::vector<uint8_t> note(24, 0);
  StoreLe64(&note[0], size);
  StoreLe64(&note[8], 0x77);
  StoreLe64(&note[16], address);
  return note;
}

}  // namespace

TEST(PersistentMemoryNote, MovesIntoTheKernelRegion) {
  TestFirmware fw;
  StartKernelRegion();
  EFI_PHYSICAL_ADDRESS source = 0x28000000;
  ASSERT_EQ(gBS->AllocatePages(AllocateAddress, EfiReservedMemoryType, 2, &source), EFI_SUCCESS);
  for (int i = 0; i < 6000; ++i) reinterpret_cast<uint8_t*>(source)[i] = uint8_t(i * 7);
  fw.SetVariable(u"Persistent-memory-note", TarnBootGuid, 3, Note(6000, source));
  MovePersistentMemoryNote();
  auto note = fw.GetVariable(u"Persistent-memory-note", TarnBootGuid);
  ASSERT_TRUE(note.has_value());
  ASSERT_EQ(note->size(), 24u);
  EXPECT_EQ(LoadLe64(note->data()), 6000u);
  EXPECT_EQ(LoadLe64(note->data() + 8), 0x77u);
  uint64_t copy = LoadLe64(note->data() + 16);
  EXPECT_EQ(copy, KernelToPhysical(kKernelBase) + 0x10000) << "at the top of the kernel region";
  EXPECT_EQ(std::memcmp(reinterpret_cast<void*>(copy), reinterpret_cast<void*>(source), 6000), 0);
  EXPECT_EQ(fw.VariableAttributes(u"Persistent-memory-note", TarnBootGuid), 7u);
}

TEST(PersistentMemoryNote, MalformedOrUnreachableNotes) {
  struct Case {
    const char* what;
    std::vector<uint8_t> note;
    bool kept;  // left as it was; otherwise deleted
  } cases[] = {
      {"23 bytes", std::vector<uint8_t>(23, 1), true},
      {"zero size", Note(0, 0x28000000), true},
      {"zero address", Note(100, 0), true},
      {"outside memory", Note(0x1000, 0x7F000000), false},
      {"runs off the end of memory", Note(0x3000, 0x28000000), false},
      {"wraps around", Note(~0ull - 0x10, 0x28000000), false},
  };
  for (auto& c : cases) {
    TestFirmware fw;
    StartKernelRegion();
    EFI_PHYSICAL_ADDRESS source = 0x28000000;
    ASSERT_EQ(gBS->AllocatePages(AllocateAddress, EfiLoaderData, 2, &source), EFI_SUCCESS);
    fw.SetVariable(u"Persistent-memory-note", TarnBootGuid, 7, c.note);
    MovePersistentMemoryNote();
    auto after = fw.GetVariable(u"Persistent-memory-note", TarnBootGuid);
    if (c.kept) {
      EXPECT_EQ(after, c.note) << c.what;
    } else {
      EXPECT_FALSE(after.has_value()) << c.what;
    }
  }
}

TEST(RamDiskExtents, PublishedOnlyForAWellFormedTable) {
  struct Case {
    const char* what;
    uint32_t count;
    uint32_t version;
    uint64_t range;  // bytes the memory-mapped node describes
    uint64_t size;   // the vendor node's size
    bool published;
  } cases[] = {
      {"two extents", 2, 0x10000, 4096, 0x5000, true},
      {"254 extents", 254, 0x10000, 8192, 0x5000, true},
      {"255 extents", 255, 0x10000, 4096, 0x5000, false},
      {"no extents", 0, 0x10000, 4096, 0x5000, false},
      {"other version", 2, 0x20000, 4096, 0x5000, false},
      {"range too short", 2, 0x10000, 4095, 0x5000, false},
      {"no size", 2, 0x10000, 4096, 0, false},
  };
  for (auto& c : cases) {
    TestFirmware fw;
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    std::vector<uint8_t> table(4096, 0);
    std::memcpy(&table[0], "RAMDXTNT", 8);
    std::memcpy(&table[4088], "RAMDXTNT", 8);
    StoreLe32(&table[8], c.version);
    StoreLe32(&table[12], c.count);
    for (uint32_t i = 0; i < 254; ++i) {
      StoreLe64(&table[16 + 16 * i], 0x100000 * (i + 1));
      StoreLe64(&table[24 + 16 * i], 0x800);
    }
    std::vector<uint8_t> memmap(20, 0);
    StoreLe32(&memmap[0], EfiReservedMemoryType);
    StoreLe64(&memmap[4], reinterpret_cast<uint64_t>(table.data()));
    StoreLe64(&memmap[12], reinterpret_cast<uint64_t>(table.data()) + c.range - 1);
    std::vector<uint8_t> vendor(16 + 8, 0);
    std::memcpy(&vendor[0], &kRamDiskVendor, 16);
    StoreLe64(&vendor[16], c.size);
    std::vector<uint8_t> path = DevicePathBuilder()
                                    .Node(HARDWARE_DEVICE_PATH, HW_MEMMAP_DP, memmap)
                                    .Usb(1)
                                    .Node(MESSAGING_DEVICE_PATH, 10, vendor)
                                    .Build();
    PublishMemoryRamDisk(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(path.data()));
    std::vector<uint8_t> extents = Value("/chosen", "boot-ramdmg-extents");
    if (!c.published) {
      EXPECT_TRUE(extents.empty()) << c.what;
      EXPECT_EQ(Find("/chosen", "boot-ramdmg-size"), nullptr) << c.what;
      continue;
    }
    ASSERT_EQ(extents.size(), c.count * 16u) << c.what;
    EXPECT_EQ(std::vector<uint8_t>(table.begin() + 16, table.begin() + 16 + c.count * 16), extents) << c.what;
    std::vector<uint8_t> size = Value("/chosen", "boot-ramdmg-size");
    ASSERT_EQ(size.size(), 8u);
    EXPECT_EQ(LoadLe64(size.data()), c.size);
  }
}

TEST(RamDiskExtents, VendorNodeMustFollowTheMemoryRange) {
  TestFirmware fw;
  ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
  std::vector<uint8_t> table(4096, 0);
  std::memcpy(&table[0], "RAMDXTNT", 8);
  std::memcpy(&table[4088], "RAMDXTNT", 8);
  StoreLe32(&table[8], 0x10000);
  StoreLe32(&table[12], 1);
  std::vector<uint8_t> memmap(20, 0);
  StoreLe64(&memmap[4], reinterpret_cast<uint64_t>(table.data()));
  StoreLe64(&memmap[12], reinterpret_cast<uint64_t>(table.data()) + 4095);
  std::vector<uint8_t> vendor(24, 0);
  std::memcpy(&vendor[0], &kRamDiskVendor, 16);
  vendor[16] = 1;
  std::vector<uint8_t> path = DevicePathBuilder()
                                  .Node(MESSAGING_DEVICE_PATH, 10, vendor)
                                  .Node(HARDWARE_DEVICE_PATH, HW_MEMMAP_DP, memmap)
                                  .Build();
  PublishMemoryRamDisk(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(path.data()));
  EXPECT_EQ(Find("/chosen", "boot-ramdmg-extents"), nullptr);
}

TEST(SmcPowerLimit, LargerOfTheTwoKeys) {
  struct Case {
    std::vector<uint8_t> mstc, msac;
    UINT32 limit;
  } cases[] = {
      {{0x20}, {0x30, 0x80}, 0x31},  // 0x30.8 rounds up
      {{0x40}, {0x30, 0x7F}, 0x40},
      {{}, {0x12, 0x00}, 0x12},      // the first key unreadable counts as 0
      {{0x15}, {}, 0x15},
      {{0xC5}, {}, 0x45},            // only seven bits go to the kernel
      {{}, {}, 0},
  };
  for (auto& c : cases) {
    TestFirmware fw;
    MemorySmc smc;
    if (!c.mstc.empty()) smc.SetKey("MSTc", c.mstc);
    if (!c.msac.empty()) smc.SetKey("MSAc", c.msac);
    EXPECT_EQ(ReadSmcPowerLimit(), c.limit);
  }
  TestFirmware fw;
  EXPECT_EQ(ReadSmcPowerLimit(), 0u) << "no controller";
}

TEST(DataHub, PlatformRecordsBecomeEfiPlatformProperties) {
  TestFirmware fw;
  MemoryDataHub hub;
  hub.AddPlatformProperty(u"Model", {'T', 0, 'x', 0, 0, 0});
  hub.AddPlatformProperty(u"FSBFrequency", {0x00, 0xE1, 0xF5, 0x05, 0, 0, 0, 0});
  const EFI_GUID other = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  hub.AddPlatformProperty(u"Foreign", {1}, other);
  hub.AddPlatformProperty(u"Truncated", {1, 2, 3, 4}, MemoryDataHub::kPlatformProducer, -2);
  hub.AddPlatformProperty(u"AVeryLongPropertyNameThatCannotFit", {1});
  hub.AddPlatformProperty(u"Model", {'Z', 0, 0, 0});  // the first value of a name stays
  hub.AddPlatformProperty(u"system-id", std::vector<uint8_t>(16, 0x5A));
  ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
  EXPECT_EQ(Value("/efi/platform", "Model"), (std::vector<uint8_t>{'T', 0, 'x', 0, 0, 0}));
  EXPECT_EQ(Value("/efi/platform", "FSBFrequency").size(), 8u);
  EXPECT_EQ(Value("/efi/platform", "system-id"), std::vector<uint8_t>(16, 0x5A));
  EXPECT_EQ(Find("/efi/platform", "Foreign"), nullptr);
  EXPECT_EQ(Find("/efi/platform", "Truncated"), nullptr);
  EXPECT_EQ(hub.Calls(), 7);
  EXPECT_STREQ(PlatformModelString(), "Tx");
  DeviceTreeFree();
}

TEST(PlatformUuid, FromSmbiosUnlessTheFirmwareHasOne) {
  {
    TestFirmware fw;
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    StorePlatformUuid();
    EXPECT_FALSE(fw.GetVariable(u"platform-uuid", TarnBootGuid).has_value()) << "no SMBIOS UUID";
    DeviceTreeFree();
  }
  {
    // An older model: the UUID comes from the ROM behind the marker byte.
    TestFirmware fw;
    MemoryDataHub hub;
    hub.AddPlatformProperty(u"Model", {'T', 0, 'a', 0, 'r', 0, 'n', 0, 'M', 0, 'i', 0, 'n', 0, 'i', 0, '1', 0, ',', 0, '1', 0});
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    const uint8_t rom[7] = {0xEA, 1, 2, 3, 4, 5, 6};
    HwFakeSetPhysical(0xFFFFFF00, rom, sizeof(rom));
    StorePlatformUuid();
    auto uuid = fw.GetVariable(u"platform-uuid", TarnBootGuid);
    ASSERT_TRUE(uuid.has_value());
    ASSERT_EQ(uuid->size(), 16u);
    EXPECT_EQ(std::vector<uint8_t>(uuid->begin() + 10, uuid->end()), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(fw.VariableAttributes(u"platform-uuid", TarnBootGuid), 7u);
    DeviceTreeFree();
  }
  {
    TestFirmware fw;
    MemoryDataHub hub;
    hub.AddPlatformProperty(u"system-id", std::vector<uint8_t>(16, 0x5A));
    hub.AddPlatformProperty(u"Model", {'T', 0, 'a', 0, 'r', 0, 'n', 0, 'M', 0, 'i', 0, 'n', 0, 'i', 0, '1', 0, ',', 0, '1', 0});
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    const uint8_t rom[7] = {0xEA, 1, 2, 3, 4, 5, 6};
    HwFakeSetPhysical(0xFFFFFF00, rom, sizeof(rom));
    StorePlatformUuid();
    EXPECT_FALSE(fw.GetVariable(u"platform-uuid", TarnBootGuid).has_value()) << "the firmware has a system id";
    DeviceTreeFree();
  }
}

namespace {

struct FakeDeviceProperties {
  TarnDevicePropertiesProtocol protocol;
  std::vector<uint8_t> store;
  std::vector<UINT32> offered;
};

EFI_STATUS EFIAPI GetPropertyBuffer(TarnDevicePropertiesProtocol* self, VOID* buffer, UINT32* size) {
  auto* fake = reinterpret_cast<FakeDeviceProperties*>(self);
  fake->offered.push_back(*size);
  if (*size < fake->store.size()) {
    *size = static_cast<UINT32>(fake->store.size());
    return EFI_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, fake->store.data(), fake->store.size());
  *size = static_cast<UINT32>(fake->store.size());
  return EFI_SUCCESS;
}

struct FakeNetBoot {
  TarnNetBootInfoProtocol protocol;
  std::vector<uint8_t> dhcp;
};

EFI_STATUS EFIAPI GetDhcp(TarnNetBootInfoProtocol* self, UINTN* size, VOID* buffer) {
  auto* fake = reinterpret_cast<FakeNetBoot*>(self);
  if (*size < fake->dhcp.size() || !buffer) {
    *size = fake->dhcp.size();
    return EFI_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, fake->dhcp.data(), fake->dhcp.size());
  *size = fake->dhcp.size();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI GetNothing(TarnNetBootInfoProtocol*, UINTN*, VOID*) { return EFI_NOT_FOUND; }

}  // namespace

TEST(DeviceProperties, RefetchedAtTheSizeAskedFor) {
  TestFirmware fw;
  ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
  FakeDeviceProperties fake{{1, GetPropertyBuffer}, std::vector<uint8_t>(9000, 0x3C), {}};
  fw.InstallProtocol(nullptr, kTarnDevicePropertiesProtocolGuid, &fake);
  ASSERT_EQ(PublishDeviceProperties(), EFI_SUCCESS);
  EXPECT_EQ(fake.offered, (std::vector<UINT32>{4096, 9000}));
  EXPECT_EQ(Value("/efi", "device-properties"), fake.store);
  DeviceTreeFree();
}

TEST(NetBootInfo, PacketsFromTheBooterDevice) {
  TestFirmware fw;
  ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
  FakeNetBoot fake{{GetDhcp, GetNothing}, std::vector<uint8_t>(300, 0x63)};
  EFI_HANDLE device = fw.InstallProtocol(nullptr, kTarnNetBootInfoProtocolGuid, &fake);
  PublishNetBootInfo(device);
  EXPECT_EQ(Value("/chosen", "dhcp-response"), fake.dhcp);
  EXPECT_EQ(Find("/chosen", "bsdp-response"), nullptr);
  DeviceTreeFree();
}

TEST(ModelString, PlatformModelThenDsdtThenAcpi) {
  {
    TestFirmware fw;
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    EXPECT_STREQ(PlatformModelString(), "ACPI") << "no Model, no DSDT";
    DeviceTreeFree();
  }
  {
    // A DSDT through a revision-2 FADT (32-bit pointer), all below 4 GiB.
    TestFirmware fw;
    EFI_PHYSICAL_ADDRESS low = 0xFFFFFFFF;
    ASSERT_EQ(gBS->AllocatePages(AllocateMaxAddress, EfiACPIReclaimMemory, 1, &low), EFI_SUCCESS);
    auto* base = reinterpret_cast<uint8_t*>(low);
    std::memset(base, 0, 4096);
    uint8_t* dsdt = base;
    std::memcpy(dsdt, "DSDT", 4);
    StoreLe32(dsdt + 4, 40);
    std::memcpy(dsdt + 16, "TarnPro ", 8);
    StoreLe32(dsdt + 24, (5u << 16) | 2);
    uint8_t* fadt = base + 0x100;
    std::memcpy(fadt, "FACP", 4);
    StoreLe32(fadt + 4, 116);
    fadt[8] = 2;
    StoreLe32(fadt + 40, static_cast<uint32_t>(low));
    uint8_t* xsdt = base + 0x200;
    std::memcpy(xsdt, "XSDT", 4);
    StoreLe32(xsdt + 4, 44);
    StoreLe64(xsdt + 36, reinterpret_cast<uint64_t>(fadt));
    uint8_t* rsdp = base + 0x300;
    std::memcpy(rsdp, "RSD PTR ", 8);
    rsdp[15] = 2;
    StoreLe64(rsdp + 24, reinterpret_cast<uint64_t>(xsdt));
    fw.SetConfigurationTable(kEfiAcpi20TableGuid, rsdp);
    ASSERT_EQ(InitDeviceTree(), EFI_SUCCESS);
    EXPECT_STREQ(PlatformModelString(), "TarnPro5,2");
    DeviceTreeFree();
  }
}
