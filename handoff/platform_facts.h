// Platform facts gathered for the kernel: from SMBIOS at start ("InitMemoryConfig") and
// from the firmware's tables and variables while the boot arguments are finished.
#pragma once

#include "efi/types.h"
#include "efi/protocols/device_path.h"
#include "handoff/boot_args.h"

struct PlatformFacts {
  UINT64 physical_memory_size;  // sum of the SMBIOS memory devices
  bool has_system_uuid;
  UINT8 system_uuid[16];        // SMBIOS type 1
};

// "InitMemoryConfig": reads the memory devices and the system UUID from SMBIOS.
void InitMemoryConfig();
const PlatformFacts& RecordedPlatformFacts();

// "/efi/configuration-table" (one child per table, ACPI aliases), "/efi/runtime-services",
// the firmware vendor, revision and ABI, and "/efi/kernel-compatibility". A node that
// cannot be created is reported.
[[nodiscard]] EFI_STATUS PublishEfiProperties();

// The install meter from "IASCurrentInstallPhase" and "IASInstallPhaseList"; false when no
// install phase is in progress.
bool ReadInstallPhase(UINT16* meter_start, UINT16* meter_end);
// The meter from a phase list (an XML array of dicts, parsed in place in list_text) and the
// current phase's name; false when the list does not name that phase.
bool InstallPhaseMeter(char* list_text, UINTN length, const char* current, UINT16* meter_start, UINT16* meter_end);

// Moves a pending persistent-memory note into the kernel region and points its variable at
// the copy (or drops the note when it cannot be copied).
void MovePersistentMemoryNote();
// True when every byte of [address, address + size) is memory the firmware's map describes
// as readable.
bool PhysicalRangeIsMemory(UINT64 address, UINT64 size);

// "boot-ramdmg-extents" and "boot-ramdmg-size" on "/chosen" for a RAM disk that the firmware
// left in memory, described by the boot device path.
void PublishMemoryRamDisk(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path);

// The SMC's power limit for the kernel (0 when the SMC has none).
UINT32 ReadSmcPowerLimit();

// "booter-name", "booter-version" and "booter-build-time" on "/chosen".
void PublishBooterIdentity();

// "/efi" "device-properties" from the firmware's device-property store, when it has one.
// No memory for the store's buffer is reported; a store that fails is skipped.
[[nodiscard]] EFI_STATUS PublishDeviceProperties();

// "dhcp-response" and "bsdp-response" on "/chosen" after a network boot.
void PublishNetBootInfo(EFI_HANDLE booter_device);

// Disconnects the PCI devices the firmware marked for quiescing and turns off their bus
// mastering, sparing the one the booter's own path runs through.
void QuiescePciDevices(const EFI_DEVICE_PATH_PROTOCOL* booter_path);

// The machine's model: "/efi/platform" "Model", else the DSDT's OEM table id and revision,
// else "ACPI". At most 63 bytes; computed once.
const char* PlatformModelString();

// Writes "platform-uuid" when neither the firmware ("system-id") nor an earlier boot did.
void StorePlatformUuid();
