// The firmware clock as seconds since 1 January 1970 (no time zone applied), as the
// operating system stamps its sleep time.
#pragma once

#include "efi/efi.h"

// Seconds since 1970 for a clock reading; every fourth year from 1970 counts as a leap year
// (right until 2100). 0 for a reading before 1970 or with a month outside 1..12.
UINT32 SecondsSince1970(const EFI_TIME& time);

// The current clock, or 0 when it cannot be read.
UINT32 ClockSecondsSince1970();
