// A machine with a hibernation image on a partition: the image built by the toolkit's
// builder, the variables that announce it, an SMC, ACPI tables with the machine signature
// and a frame buffer.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "efi/protocols/device_path.h"
#include "efi/system_table.h"
#include "flags/guids.h"
#include "hibernate/image_format.h"
#include "lib/mem.h"
#include "output/console_mode.h"
#include "testfw/memory_disk_io.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_smc.h"
#include "testfw/test_firmware.h"
#include "tools/lib/hibernate_image.h"

constexpr uint32_t kMachineSignature = 0x5EED1234;
constexpr uint64_t kRestoreAddress = 0x31000000;
constexpr uint64_t kRuntimeAddress = 0x21000000;   // the runtime pages named by the image
constexpr uint64_t kFirmwareRuntime = 0x32000000;  // where the firmware's runtime data sits
constexpr uint64_t kKernelBase = 0xFFFFFF8000000000ull;

inline std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = uint8_t((i * 2654435761u + seed) >> 7);
  return v;
}

// ACPI: an XSDT with a FADT (revision 4) pointing at a FACS with the machine signature.
class HibernateAcpi {
 public:
  void Install(TestFirmware& fw, uint32_t signature) {
    std::memcpy(facs_, "FACS", 4);
    StoreLe32(facs_ + 4, 64);
    StoreLe32(facs_ + 8, signature);
    std::memcpy(fadt_, "FACP", 4);
    StoreLe32(fadt_ + 4, 244);
    fadt_[8] = 4;
    StoreLe64(fadt_ + 132, reinterpret_cast<uint64_t>(facs_));
    std::memcpy(xsdt_, "XSDT", 4);
    StoreLe32(xsdt_ + 4, 44);
    xsdt_[8] = 1;
    StoreLe64(xsdt_ + 36, reinterpret_cast<uint64_t>(fadt_));
    std::memcpy(rsdp_, "RSD PTR ", 8);
    rsdp_[15] = 2;
    StoreLe64(rsdp_ + 24, reinterpret_cast<uint64_t>(xsdt_));
    fw.SetConfigurationTable(kEfiAcpi20TableGuid, rsdp_);
  }

 private:
  alignas(16) uint8_t facs_[64] = {};
  alignas(16) uint8_t fadt_[244] = {};
  alignas(16) uint8_t xsdt_[44] = {};
  uint8_t rsdp_[36] = {};
};

// The console's display: a graphics output protocol over a host frame buffer, all black, and
// the console mode taken as the start of the boot takes it.
class HibernateScreen : public MemoryGraphicsOutput {
 public:
  HibernateScreen(uint32_t width, uint32_t height) : MemoryGraphicsOutput(width, height) {
    EXPECT_EQ(InitConsoleMode(), EFI_SUCCESS);
  }
  bool Untouched() const { return BoundingBox(0) == Box{0, 0, 0, 0}; }
};

class HibernateMachine {
 public:
  explicit HibernateMachine(TestFirmware& fw) : fw_(fw) {}

  // A description whose restore code, runtime pages and machine fit this machine.
  static HibernateImageDescription Description() {
    HibernateImageDescription d;
    d.block_size = 512;
    d.file_offset = 64 * 1024;
    d.restore_code = Pattern(2 * 4096, 7);
    d.restore_page = uint32_t(kRestoreAddress / 4096);
    d.restore_entry = 0x40;
    d.restore_index_base = 3;
    d.runtime_page = uint32_t(kRuntimeAddress / 4096);
    d.runtime_pages = 4;
    d.runtime_virtual_page = (kKernelBase + kRuntimeAddress) / 4096;
    d.memory = Pattern(300 * 1024, 11);
    d.machine_signature = kMachineSignature;
    for (int i = 0; i < 16; ++i) d.key[i] = uint8_t(0xA0 + i);
    return d;
  }

  // Builds the image onto a fresh partition and announces it.
  void Put(const HibernateImageDescription& d, const std::string& volume_uuid = "", bool whole_record = true) {
    std::string error;
    ASSERT_TRUE(BuildHibernateImage(d, &image, &error)) << error;
    std::vector<uint8_t> partition(d.file_offset, 0);
    image.PlaceOn(&partition);
    partition.resize(partition.size() + 64 * 1024, 0);
    disk = std::make_unique<MemoryDiskIo>(partition, 512);
    disk->SetWritable(true);
    InstallDevicePath();
    const uint8_t signature[20] = {1, 2, 3};
    if (whole_record) {
      fw_.SetVariable(u"boot-switch-vars", TarnBootGuid, 7, HibernateVarsRecord(d.key, signature));
    } else {
      fw_.SetVariable(u"boot-signature", TarnBootGuid, 7, std::vector<uint8_t>(signature, signature + 20));
      fw_.SetVariable(u"boot-image-key", TarnBootGuid, 7, std::vector<uint8_t>(d.key, d.key + 16));
    }
    SetBootImageText(BootImageText(image.header_offset, volume_uuid));
  }

  void SetBootImageText(const std::string& text) {
    std::vector<uint8_t> path = path_;
    path.resize(path.size() - 4);  // the end node goes after the file node
    size_t at = path.size();
    size_t length = 4 + 2 * (text.size() + 1);
    path.resize(at + length, 0);
    path[at] = MEDIA_DEVICE_PATH;
    path[at + 1] = MEDIA_FILEPATH_DP;
    path[at + 2] = uint8_t(length);
    path[at + 3] = uint8_t(length >> 8);
    for (size_t i = 0; i < text.size(); ++i) path[at + 4 + 2 * i] = uint8_t(text[i]);
    path.insert(path.end(), {0x7F, 0xFF, 4, 0});
    fw_.SetVariable(u"boot-image", TarnBootGuid, 7, path);
  }

  // The firmware's runtime data, holding a copy of the system table, as real firmware keeps it.
  void MoveSystemTableIntoRuntimeData() {
    EFI_PHYSICAL_ADDRESS at = kFirmwareRuntime;
    ASSERT_EQ(gBS->AllocatePages(AllocateAddress, EfiRuntimeServicesData, 1, &at), EFI_SUCCESS);
    auto* table = reinterpret_cast<EFI_SYSTEM_TABLE*>(at + 0x180);
    std::memcpy(table, gST, sizeof(*table));
    // The configuration tables' array moves with it (install tables before this).
    auto* entries = reinterpret_cast<EFI_CONFIGURATION_TABLE*>(at + 0x400);
    ASSERT_LE(gST->NumberOfTableEntries * sizeof(EFI_CONFIGURATION_TABLE), 0xC00u);
    std::memcpy(entries, gST->ConfigurationTable, gST->NumberOfTableEntries * sizeof(EFI_CONFIGURATION_TABLE));
    table->ConfigurationTable = entries;
    gST = table;
  }

  HibernateImage image;
  std::unique_ptr<MemoryDiskIo> disk;

 private:
  void InstallDevicePath() {
    // A vendor hardware node naming the partition, then the end node.
    path_ = {1, 4, 20, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x01,
             0x7F, 0xFF, 4, 0};
    fw_.InstallProtocol(disk->Handle(), kEfiDevicePathProtocolGuid, path_.data());
  }

  TestFirmware& fw_;
  std::vector<uint8_t> path_;
};
