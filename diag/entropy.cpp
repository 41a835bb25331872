#include "diag/entropy.h"

#include "output/error_report.h"
#include "output/console.h"
#include "hw/hw.h"
#include "lib/mem.h"

namespace {

constexpr int kRdrandAttempts = 10;

// The first value the random instruction delivers in kRdrandAttempts tries; 0 when none.
UINT64 HardwareRandom64() {
  for (int attempt = 0; attempt < kRdrandAttempts; ++attempt) {
    UINT64 value = 0;
    if (HwRdrand64(&value)) return value;
  }
  return 0;
}

EFI_STATUS FillFromHardware(UINT8* buffer, UINTN length) {
  if (length % 8 != 0) {
    return ReportError(EFI_INVALID_PARAMETER, "Entropy seed length %ld is not a multiple of 8\n",
                       static_cast<UINT64>(length));
  }
  for (UINTN offset = 0; offset < length; offset += 8) {
    UINT64 value = HardwareRandom64();
    value ^= HwReadTsc();
    StoreLe64(buffer + offset, value);
  }
  return EFI_SUCCESS;
}

UINT16 ReadTimer(UINT16 port) { return static_cast<UINT16>(HwInPort32(port) & 0xFFFF); }

void FillFromTimer(UINT8* buffer, UINTN length) {
  UINT16 port = 0;
  if (EFI_ERROR(EntropyFindPmTimerPort(&port))) {
    ConsolePrint("entropy_seed_legacy() unable to find ACPI PM Timer\n");
    MemZero(buffer, length);
    return;
  }
  UINT16 target = 0;
  for (UINTN i = 0; i < length; ++i) {
    UINT16 t = ReadTimer(port);
    for (UINT32 polls = 1; t < target && polls < kEntropyMaxTimerPolls; ++polls) t = ReadTimer(port);
    const UINT64 c = HwReadTsc();
    const UINT64 m = t ^ c ^ (c >> 8) ^ (c >> 16);
    buffer[i] = static_cast<UINT8>(m);
    target = static_cast<UINT16>((m & 47) + t);
  }
}

}  // namespace

EFI_STATUS FillEntropySeed(UINT8* buffer, UINTN length) {
  if (HwCpuid(1).ecx & hw::kLeaf1EcxRdrand) return FillFromHardware(buffer, length);
  FillFromTimer(buffer, length);
  return EFI_SUCCESS;
}
