#include "panic/time_span.h"

namespace {

constexpr UINT32 kSecondsPerDay = 86400;

bool LeapYear(UINT32 year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days of the months before this one plus the day of the month.
UINT32 DayNumber(const EFI_TIME& t) {
  static const UINT8 kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  UINT32 days = t.Day;
  for (UINT32 m = 1; m < t.Month && m <= 12; ++m) days += (m == 2 && LeapYear(t.Year)) ? 29 : kDays[m - 1];
  return days;
}

INT64 SecondOfDay(const EFI_TIME& t) { return INT64(t.Hour) * 3600 + INT64(t.Minute) * 60 + t.Second; }

}  // namespace

UINT32 TimeSpanSeconds(const EFI_TIME& a, const EFI_TIME& b) {
  if (a.Year != b.Year || a.Month != b.Month) return 0;
  UINT32 day_a = DayNumber(a), day_b = DayNumber(b);
  if (day_a > day_b) return 0;
  if (day_a == day_b) {
    INT64 span = SecondOfDay(b) - SecondOfDay(a);
    return span < 0 ? 0 : static_cast<UINT32>(span);
  }
  INT64 span = (kSecondsPerDay - SecondOfDay(a)) + INT64(day_b - day_a - 1) * kSecondsPerDay + SecondOfDay(b);
  return span < 0 ? 0 : static_cast<UINT32>(span);
}
