// The performance record: timestamped text marks of every boot stage, kept in ACPI
// reclaimable pages below 4 GiB that the operating system finds through two firmware
// variables and the boot arguments. Active only when the operating system asked for it.
#pragma once

#include <stdarg.h>

#include "efi/types.h"

// Record layout (little-endian).
constexpr UINT64 kPerfRecordMagic = 0x6670687472616568ull;  // "hearthpf"
constexpr UINT32 kPerfRecordHeaderSize = 64;
constexpr UINT32 kPerfEntryHeaderSize = 24;
constexpr UINT32 kPerfRecordInitialSize = 4096;
constexpr UINT32 kPerfEntryKindText = 1;
constexpr UINTN kPerfRecordTextMax = 256;  // formatted text, NUL included
constexpr UINT64 kPerfNoTimer = ~0ull;

// address 0: when the variable "hearth-perf-record" exists, deletes it and begins a record
// in 4096 bytes below 4 GiB; otherwise returns the variable query's status (EFI_NOT_FOUND
// when absent) and no record is active. A non-zero address (a hibernation image's area)
// begins a fixed-size record of exactly size bytes there; EFI_BAD_BUFFER_SIZE when size
// cannot hold the header or the area reaches past 4 GiB. A record already active is replaced.
[[nodiscard]] EFI_STATUS PerfRecordStart(EFI_PHYSICAL_ADDRESS address, UINT64 size);

// Adds a text mark when a record is active; one test otherwise. A final line feed is dropped.
void PerfRecordMark(const char* format, ...);

// The entry writer: kind, then text formatted into at most 255 characters. Entries that do
// not fit a fixed-size record, or arrive after boot services are gone, are dropped; others
// move the record into a buffer of twice the size.
void PerfRecordAdd(UINT32 kind, const char* format, va_list args);

// Fixes the record's size and writes "hearth-perf-record-data" (address) and
// "hearth-perf-record-data-size" (capacity); address and capacity come back for the boot
// arguments. EFI_NOT_STARTED when no record is active; a failed variable write is returned
// after the outputs are set.
[[nodiscard]] EFI_STATUS PublishPerfRecord(EFI_PHYSICAL_ADDRESS* address, UINT32* capacity);

// Marks the speed-stepping and thermal status registers when the processor has them.
void LogProcessorState();

// Where the record lives now (it moves while it grows); EFI_NOT_STARTED when none is active.
[[nodiscard]] EFI_STATUS PerfRecordLocation(EFI_PHYSICAL_ADDRESS* address, UINT32* capacity);
