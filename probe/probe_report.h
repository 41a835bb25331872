/* Check results: one line per check as it is made ("probe: ok NAME" or "probe: FAIL NAME:
   detail"), kept so that the run ends with one JSON line:
   {"probe":"hearth-handoff","pass":true,"checks":[{"name":"...","ok":true,"detail":"..."},...]} */
#pragma once

#include <stdint.h>

enum { kProbeMaxChecks = 80, kProbeDetailCapacity = 160 };

/* name must stay alive (a literal); detail is copied (cut to fit). */
void probe_report(const char* name, int ok, const char* detail);
void probe_report_reset(void);
uint32_t probe_report_count(void);
uint32_t probe_report_failures(void);
const char* probe_report_name(uint32_t index);
int probe_report_ok(uint32_t index);
const char* probe_report_detail(uint32_t index);
/* Prints the JSON line (ending in "\n") through probe_print. */
void probe_report_json(void);
/* The same with another probe name (a literal without quotes or backslashes). */
void probe_report_json_named(const char* probe);

/* Output, provided by the probe (serial port) or a test. */
void probe_print(const char* text);
