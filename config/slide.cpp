#include "config/slide.h"

#include "hw/hw.h"
#include "lib/host_reset.h"

UINT8 KernelSlideDisabled = 0;

namespace {

void ResetSlideDisabled() { KernelSlideDisabled = 0; }
HEARTH_HOST_RESET(ResetSlideDisabled);

constexpr UINT64 kSlideStep = 0x200000;
constexpr UINT64 kSandyBridgeExtraSlide = 0x10200000;
constexpr int kRdrandAttempts = 10;
// A time-stamp counter that does not move would otherwise keep the fold at 0 for ever.
constexpr int kTscAttempts = 4096;

bool IsFamily6Model2A() {
  UINT32 eax = HwCpuid(1).eax;
  UINT32 family = (eax >> 8) & 0xF;
  if (family == 0xF) family += (eax >> 20) & 0xFF;
  UINT32 model = ((eax >> 4) & 0xF) | (((eax >> 16) & 0xF) << 4);
  return family == 6 && model == 0x2A;
}

UINT64 RdrandValue() {
  if ((HwCpuid(1).ecx & hw::kLeaf1EcxRdrand) == 0) return 0;
  for (int attempt = 0; attempt < kRdrandAttempts; ++attempt) {
    UINT64 value = 0;
    if (HwRdrand64(&value)) return value;
    __builtin_ia32_pause();
  }
  return 0;
}

UINT8 TscSlideByte() {
  for (int attempt = 0; attempt < kTscAttempts; ++attempt) {
    UINT64 t = HwReadTsc();
    UINT8 b = static_cast<UINT8>(((t >> 8) ^ t) & 0xFF);
    if (b) return b;
  }
  return 1;
}

}  // namespace

UINT64 SlideValue(UINT8 b) {
  UINT64 value = b * kSlideStep;
  if (b >= 128 && IsFamily6Model2A()) value += kSandyBridgeExtraSlide;
  return value;
}

UINT8 RandomSlideByte() {
  UINT64 random = RdrandValue();
  if (random) return static_cast<UINT8>(random & 0xFF);
  return TscSlideByte();
}

void RandomSlide() { KernelSlide = SlideValue(RandomSlideByte()); }
