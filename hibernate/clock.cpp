#include "hibernate/clock.h"

namespace {

const UINT16 kDaysBeforeMonth[2][12] = {
    {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334},
    {0, 31, 60, 91, 121, 152, 182, 213, 244, 274, 305, 335},
};

}  // namespace

UINT32 SecondsSince1970(const EFI_TIME& time) {
  if (time.Year < 1970 || time.Month < 1 || time.Month > 12 || time.Day < 1 || time.Day > 31) return 0;
  UINT64 years = time.Year - 1970u;
  // 1972 is the first leap year: years before this one that were leap years.
  UINT64 leaps = (years + 1) / 4;
  bool leap = (time.Year % 4) == 0;
  UINT64 days = years * 365 + leaps + kDaysBeforeMonth[leap][time.Month - 1] + (time.Day - 1);
  UINT64 seconds = ((days * 24 + time.Hour) * 60 + time.Minute) * 60 + time.Second;
  return static_cast<UINT32>(seconds);
}

UINT32 ClockSecondsSince1970() {
  EFI_TIME now{};
  if (!gRT || EFI_ERROR(gRT->GetTime(&now, nullptr))) return 0;
  return SecondsSince1970(now);
}
