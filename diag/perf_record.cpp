#include "flags/guids.h"
#include "diag/perf_record.h"

#include "output/ascii_format.h"
#include "efi/efi.h"
#include "efi/protocols/cpu_arch.h"
#include "memory/memory.h"
#include "hw/hw.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

namespace {

constexpr UINT32 kPublishedAttributes = EFI_VARIABLE_BOOTSERVICE_ACCESS | EFI_VARIABLE_RUNTIME_ACCESS;
constexpr UINT64 kBelow4GiB = 0xFFFFFFFFull;
constexpr UINT64 kFemtosecondsPerMillisecond = 1000000000000ull;

// Header fields.
constexpr UINTN kMagicOffset = 0;
constexpr UINTN kCountOffset = 8;
constexpr UINTN kUsedOffset = 12;
constexpr UINTN kTicksOffset = 16;
constexpr UINTN kStartOffset = 24;

struct PerfRecordState {
  UINT8* buffer;      // null while no record is active
  UINT32 capacity;
  bool fixed_size;    // a hibernation image's area, or published
  bool owns_pages;    // allocated here (and freed when the record moves)
  bool timer_located;
  EFI_CPU_ARCH_PROTOCOL* cpu;
  UINT64 ticks_per_ms;
};
PerfRecordState gPerf = {};

void ResetPerfRecord() { gPerf = PerfRecordState{}; }
HEARTH_HOST_RESET(ResetPerfRecord);

UINTN Pages(UINT64 bytes) { return static_cast<UINTN>(EfiSizeToPages(bytes)); }

// Locates the processor's timer once; ticks_per_ms stays 0 when there is none.
void LocateTimer() {
  if (gPerf.timer_located) return;
  gPerf.timer_located = true;
  void* interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kEfiCpuArchProtocolGuid, nullptr, &interface)) || !interface) return;
  auto* cpu = static_cast<EFI_CPU_ARCH_PROTOCOL*>(interface);
  UINT64 value = 0;
  UINT64 period = 0;
  if (!cpu->GetTimerValue || EFI_ERROR(cpu->GetTimerValue(cpu, 0, &value, &period)) || period == 0) return;
  if (period > kFemtosecondsPerMillisecond) return;  // coarser than a millisecond: useless here
  gPerf.cpu = cpu;
  gPerf.ticks_per_ms = kFemtosecondsPerMillisecond / period;
}

UINT64 TimerMilliseconds() {
  if (!gPerf.cpu || !gBS) return kPerfNoTimer;
  UINT64 value = 0;
  if (EFI_ERROR(gPerf.cpu->GetTimerValue(gPerf.cpu, 0, &value, nullptr))) return kPerfNoTimer;
  return value / gPerf.ticks_per_ms;
}

UINT32 Used() { return LoadLe32(gPerf.buffer + kUsedOffset); }

void ReleaseRecord() {
  if (gPerf.buffer && gPerf.owns_pages) (void)PagesFree(reinterpret_cast<UINTN>(gPerf.buffer), Pages(gPerf.capacity));
  gPerf.buffer = nullptr;
  gPerf.capacity = 0;
  gPerf.fixed_size = false;
  gPerf.owns_pages = false;
}

void WriteHeader() {
  MemZero(gPerf.buffer, kPerfRecordHeaderSize);
  StoreLe64(gPerf.buffer + kMagicOffset, kPerfRecordMagic);
  StoreLe32(gPerf.buffer + kCountOffset, 0);
  StoreLe32(gPerf.buffer + kUsedOffset, kPerfRecordHeaderSize);
  StoreLe64(gPerf.buffer + kTicksOffset, gPerf.ticks_per_ms);
  UINT64 start = gPerf.ticks_per_ms ? TimerMilliseconds() : 0;
  StoreLe64(gPerf.buffer + kStartOffset, start == kPerfNoTimer ? 0 : start);
}

EFI_STATUS BeginRecord(EFI_ALLOCATE_TYPE type, EFI_PHYSICAL_ADDRESS address, UINT32 capacity, bool fixed_size) {
  LocateTimer();
  EFI_STATUS status = PagesAllocate(type, EfiACPIReclaimMemory, Pages(capacity), &address);
  if (EFI_ERROR(status)) return status;
  ReleaseRecord();
  gPerf.buffer = reinterpret_cast<UINT8*>(static_cast<UINTN>(address));
  gPerf.capacity = capacity;
  gPerf.fixed_size = fixed_size;
  gPerf.owns_pages = true;
  WriteHeader();
  return EFI_SUCCESS;
}

// Makes room for needed more bytes; false when the entry must be dropped.
bool EnsureRoom(UINT32 needed) {
  UINT64 used = Used();
  if (used + needed <= gPerf.capacity) return true;
  if (gPerf.fixed_size || !gBS) return false;
  UINT64 capacity = gPerf.capacity;
  while (used + needed > capacity) capacity *= 2;
  if (capacity > kBelow4GiB) return false;
  EFI_PHYSICAL_ADDRESS address = kBelow4GiB;
  if (EFI_ERROR(PagesAllocate(AllocateMaxAddress, EfiACPIReclaimMemory, Pages(capacity), &address))) return false;
  UINT8* moved = reinterpret_cast<UINT8*>(static_cast<UINTN>(address));
  MemCopy(moved, gPerf.buffer, used);
  (void)PagesFree(reinterpret_cast<UINTN>(gPerf.buffer), Pages(gPerf.capacity));
  gPerf.buffer = moved;
  gPerf.capacity = static_cast<UINT32>(capacity);
  return true;
}

EFI_STATUS WriteWordVariable(const CHAR16* name, UINT32 value) {
  UINT8 bytes[4];
  StoreLe32(bytes, value);
  return gRT->SetVariable(name, &TarnBootGuid, kPublishedAttributes, sizeof(bytes), bytes);
}

}  // namespace

EFI_STATUS PerfRecordLocation(EFI_PHYSICAL_ADDRESS* address, UINT32* capacity) {
  if (!address || !capacity) return EFI_INVALID_PARAMETER;
  *address = reinterpret_cast<UINTN>(gPerf.buffer);
  *capacity = gPerf.capacity;
  return gPerf.buffer ? EFI_SUCCESS : EFI_NOT_STARTED;
}

EFI_STATUS PerfRecordStart(EFI_PHYSICAL_ADDRESS address, UINT64 size) {
  if (address != 0) {
    if (size < kPerfRecordHeaderSize || address > kBelow4GiB || size > kBelow4GiB + 1 - address) {
      return EFI_BAD_BUFFER_SIZE;
    }
    return BeginRecord(AllocateAddress, address, static_cast<UINT32>(size), true);
  }
  UINTN variable_size = 0;
  EFI_STATUS status = gRT->GetVariable(u"hearth-perf-record", &TarnBootGuid, nullptr, &variable_size, nullptr);
  if (status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(status) ? status : EFI_NOT_FOUND;
  gRT->SetVariable(u"hearth-perf-record", &TarnBootGuid, 0, 0, nullptr);
  return BeginRecord(AllocateMaxAddress, kBelow4GiB, kPerfRecordInitialSize, false);
}

void PerfRecordAdd(UINT32 kind, const char* format, va_list args) {
  if (!gPerf.buffer) return;
  const UINT64 tsc = HwReadTsc();
  const UINT64 milliseconds = TimerMilliseconds();
  char text[kPerfRecordTextMax];
  UINTN length = AsciiVSNPrint(text, sizeof(text), format, args);
  if (length > 0 && text[length - 1] == '\n') text[--length] = 0;
  const UINT32 field = static_cast<UINT32>((length + 8) & ~UINTN(7));
  if (!EnsureRoom(kPerfEntryHeaderSize + field)) return;

  const UINT32 used = Used();
  UINT8* entry = gPerf.buffer + used;
  StoreLe32(entry, kind);
  StoreLe32(entry + 4, field);
  StoreLe64(entry + 8, milliseconds);
  StoreLe64(entry + 16, tsc);
  MemCopy(entry + kPerfEntryHeaderSize, text, length);
  MemZero(entry + kPerfEntryHeaderSize + length, field - length);
  StoreLe32(gPerf.buffer + kUsedOffset, used + kPerfEntryHeaderSize + field);
  StoreLe32(gPerf.buffer + kCountOffset, LoadLe32(gPerf.buffer + kCountOffset) + 1);
}

void PerfRecordMark(const char* format, ...) {
  if (!gPerf.buffer) return;
  va_list args;
  va_start(args, format);
  PerfRecordAdd(kPerfEntryKindText, format, args);
  va_end(args);
}

EFI_STATUS PublishPerfRecord(EFI_PHYSICAL_ADDRESS* address, UINT32* capacity) {
  if (address) *address = 0;
  if (capacity) *capacity = 0;
  if (!gPerf.buffer) return EFI_NOT_STARTED;
  gPerf.fixed_size = true;
  const UINT32 where = static_cast<UINT32>(reinterpret_cast<UINTN>(gPerf.buffer));
  if (address) *address = where;
  if (capacity) *capacity = gPerf.capacity;
  EFI_STATUS status = WriteWordVariable(u"hearth-perf-record-data", where);
  EFI_STATUS size_status = WriteWordVariable(u"hearth-perf-record-data-size", gPerf.capacity);
  return EFI_ERROR(status) ? status : size_status;
}

void LogProcessorState() {
  if (!gPerf.buffer || HwCpuid(0).eax < 1) return;
  HwCpuidResult leaf1 = HwCpuid(1);
  if (leaf1.ecx & (1u << 7)) {
    PerfRecordMark("PERF_STS 0x%x, PERF_CTL 0x%x\n", HwReadMsr(0x198) & 0xFFFFFFFF, HwReadMsr(0x199) & 0xFFFFFFFF);
  }
  if (leaf1.edx & (1u << 29)) PerfRecordMark("THERM_STATUS 0x%x\n", HwReadMsr(0x19C) & 0xFFFFFFFF);
}
