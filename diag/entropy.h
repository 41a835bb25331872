// Seed material for the kernel ("/chosen" "random-seed"): from the processor's hardware
// random number generator when it has one, otherwise from the jitter between the ACPI
// power-management timer and the time-stamp counter.
#pragma once

#include "efi/types.h"

// Fills length bytes. On the hardware path a length that is not a multiple of 8 is reported
// (EFI_INVALID_PARAMETER). Without a hardware generator and without a power-management
// timer the buffer is zero-filled and a console message says so.
[[nodiscard]] EFI_STATUS FillEntropySeed(UINT8* buffer, UINTN length);

// The I/O port of the ACPI power-management timer, from the FADT found through the
// system table's ACPI tables. EFI_NOT_FOUND when there is no FADT or its port is 0.
[[nodiscard]] EFI_STATUS EntropyFindPmTimerPort(UINT16* port);

// Polls of the timer per output byte before the reading is taken as it is, so that a
// timer that never moves cannot hang the boot.
constexpr UINT32 kEntropyMaxTimerPolls = 100000;
