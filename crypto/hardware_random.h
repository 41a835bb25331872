// Random numbers from the processor's RDRAND instruction.
#pragma once

#include <stdint.h>

// Up to 10 RDRAND attempts; the first value delivered, or 0 when none was (or the processor
// has no RDRAND).
uint64_t HardwareRandom64();
