#include "probe_report.h"

struct probe_result {
  const char* name;
  int ok;
  char detail[kProbeDetailCapacity];
};

static struct probe_result results[kProbeMaxChecks];
static uint32_t result_count, failure_count, dropped;

void probe_report_reset(void) { result_count = failure_count = dropped = 0; }

void probe_report(const char* name, int ok, const char* detail) {
  probe_print(ok ? "probe: ok " : "probe: FAIL ");
  probe_print(name);
  if (detail && detail[0]) {
    probe_print(": ");
    probe_print(detail);
  }
  probe_print("\n");
  if (!ok) ++failure_count;
  if (result_count == kProbeMaxChecks) {
    ++dropped;
    return;
  }
  struct probe_result* result = &results[result_count++];
  uint32_t i = 0;
  result->name = name;
  result->ok = ok;
  for (; detail && detail[i] && i + 1 < kProbeDetailCapacity; ++i) result->detail[i] = detail[i];
  result->detail[i] = 0;
}

uint32_t probe_report_count(void) { return result_count; }
uint32_t probe_report_failures(void) { return failure_count; }
const char* probe_report_name(uint32_t index) { return index < result_count ? results[index].name : ""; }
int probe_report_ok(uint32_t index) { return index < result_count && results[index].ok; }
const char* probe_report_detail(uint32_t index) { return index < result_count ? results[index].detail : ""; }

static void print_json_string(const char* text) {
  char piece[7];
  probe_print("\"");
  for (; *text; ++text) {
    unsigned char c = (unsigned char)*text;
    if (c == '"' || c == '\\') {
      piece[0] = '\\';
      piece[1] = (char)c;
      piece[2] = 0;
    } else if (c < 0x20 || c >= 0x7F) {
      piece[0] = '\\';
      piece[1] = 'u';
      piece[2] = '0';
      piece[3] = '0';
      piece[4] = "0123456789abcdef"[c >> 4];
      piece[5] = "0123456789abcdef"[c & 0xF];
      piece[6] = 0;
    } else {
      piece[0] = (char)c;
      piece[1] = 0;
    }
    probe_print(piece);
  }
  probe_print("\"");
}

void probe_report_json(void) { probe_report_json_named("hearth-handoff"); }

void probe_report_json_named(const char* probe) {
  probe_print("{\"probe\":\"");
  probe_print(probe);
  probe_print("\",\"pass\":");
  probe_print(failure_count || dropped ? "false" : "true");
  probe_print(",\"checks\":[");
  for (uint32_t i = 0; i < result_count; ++i) {
    probe_print(i ? ",{\"name\":" : "{\"name\":");
    print_json_string(results[i].name);
    probe_print(results[i].ok ? ",\"ok\":true,\"detail\":" : ",\"ok\":false,\"detail\":");
    print_json_string(results[i].detail);
    probe_print("}");
  }
  if (dropped) probe_print(",{\"name\":\"more checks than the report holds\",\"ok\":false,\"detail\":\"\"}");
  probe_print("]}\n");
}
