// The power limit the SMC holds for the kernel: the larger of two keys, the second a
// fixed-point value rounded to whole units.
#include "machine/smc.h"
#include "handoff/platform_facts.h"

UINT32 ReadSmcPowerLimit() {
  TarnSmcIoProtocol* smc = nullptr;
  if (EFI_ERROR(SmcLocate(&smc))) return 0;
  UINT8 limit = 0;
  UINT8 alternate[2] = {0, 0};
  (void)SmcRead(smc, kSmcKeyPowerLimit, sizeof(limit), &limit);  // unread: stays 0
  UINT32 rounded = 0;
  if (!EFI_ERROR(SmcRead(smc, kSmcKeyPowerLimitAlt, sizeof(alternate), alternate))) {
    rounded = UINT32(alternate[0]) + (alternate[1] >> 7);
  }
  UINT32 larger = limit > rounded ? limit : rounded;
  return larger & 0x7F;
}
