// Platform facts gathered for the kernel: from SMBIOS at start ("InitMemoryConfig") and
// from the firmware's tables and variables while the boot arguments are finished.
#pragma once

#include "efi/types.h"
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
// the firmware vendor, revision and ABI, and "/efi/kernel-compatibility".
void PublishEfiProperties();

// The install meter from "IASCurrentInstallPhase" and "IASInstallPhaseList"; false when no
// install phase is in progress.
bool ReadInstallPhase(UINT16* meter_start, UINT16* meter_end);

// Moves a pending persistent-memory note into the kernel region and points its variable at
// the copy (or drops the note when it does not fit).
void MovePersistentMemoryNote();

// "boot-ramdmg-extents" and "boot-ramdmg-size" on "/chosen" for a RAM disk that the firmware
// left in memory, described by the boot device path.
void PublishMemoryRamDisk(const void* boot_device_path);

// The SMC's power limit for the kernel (0 when the SMC has none).
UINT32 ReadSmcPowerLimit();

// "booter-name", "booter-version" and "booter-build-time" on "/chosen".
void PublishBooterIdentity();
