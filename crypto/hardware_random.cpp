#include "crypto/hardware_random.h"

#include "crypto/processor_features.h"
#include "hw/hw.h"

namespace {
constexpr int kAttempts = 10;
}

uint64_t HardwareRandom64() {
  if (!CryptoFeatures().rdrand) return 0;
  for (int i = 0; i < kAttempts; ++i) {
    uint64_t value = 0;
    if (HwRdrand64(&value)) return value;
  }
  return 0;
}
