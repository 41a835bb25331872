// The booter names itself on "/chosen": file name, version and the time it was built.
#include "output/ascii_format.h"
#include "devicetree/device_tree.h"
#include "handoff/platform_facts.h"
#include "lib/string.h"

#ifndef HEARTH_VERSION
#define HEARTH_VERSION "1.0.0"
#endif
#ifndef HEARTH_BUILD_TIME_ZONE
#define HEARTH_BUILD_TIME_ZONE "UTC"
#endif
#ifndef HEARTH_REPOSITORY
#define HEARTH_REPOSITORY ""
#endif

namespace {

constexpr char kBooterName[] = "hearth.efi";
constexpr char kVersionText[] = "version:" HEARTH_VERSION;
constexpr const char* kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kWeekdays[7] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

// Day of the week (0 Sunday) of a Gregorian date.
int Weekday(int year, int month, int day) {
  static const int offsets[12] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + offsets[month - 1] + day) % 7;
}

int Digits(const char* text, int count) {
  int value = 0;
  for (int i = 0; i < count; ++i) value = value * 10 + (text[i] == ' ' ? 0 : text[i] - '0');
  return value;
}

// "Thu Dec 10 09:30:00 UTC 2026" from the compiler's date ("Dec 10 2026") and time.
void BuildTimeText(char* out, UINTN size) {
  const char* date = __DATE__;
  int month = 1;
  for (int m = 0; m < 12; ++m) {
    if (AsciiStrnCmp(date, kMonths[m], 3) == 0) month = m + 1;
  }
  int day = Digits(date + 4, 2);
  int year = Digits(date + 7, 4);
  AsciiSNPrint(out, size, "%s %s %d %s %s %d", kWeekdays[Weekday(year, month, day)], kMonths[month - 1],
               UINT64(day), __TIME__, HEARTH_BUILD_TIME_ZONE, UINT64(year));
}

void AddText(DeviceTreeNode* node, const char* name, const char* text) {
  DeviceTreeAddProperty(node, name, static_cast<UINT32>(AsciiStrLen(text) + 1), text, true);
}

}  // namespace

void PublishBooterIdentity() {
  DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", true);
  if (!chosen) return;
  char build_time[48];
  BuildTimeText(build_time, sizeof(build_time));
  AddText(chosen, "booter-name", kBooterName);
  AddText(chosen, "booter-version", kVersionText);
  AddText(chosen, "booter-build-time", build_time);
  if (HEARTH_REPOSITORY[0]) AddText(chosen, "booter-repository", HEARTH_REPOSITORY);
}
