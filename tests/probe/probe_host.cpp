#include "tests/probe/probe_host.h"

#include <map>

// The probe's own sources: the same files the 32-bit probe is built from.
#include "probe/probe_checks.c"
#include "probe/probe_key_store.c"
#include "probe/probe_report.c"
#include "probe/probe_text.c"
#include "probe/probe_tree.c"

namespace {

std::map<uint32_t, const std::vector<uint8_t>*> regions;
std::string output;

}  // namespace

const uint8_t* probe_view(uint32_t address, uint32_t length) {
  auto it = regions.upper_bound(address);
  if (address == 0 || it == regions.begin()) return nullptr;
  --it;
  uint64_t offset = uint64_t(address) - it->first;
  const std::vector<uint8_t>& bytes = *it->second;
  if (offset > bytes.size() || length > bytes.size() - offset) return nullptr;
  return bytes.data() + offset;
}

void probe_print(const char* text) { output += text; }

namespace probe_host {

void Map(uint32_t address, const std::vector<uint8_t>& bytes) { regions[address] = &bytes; }
void Forget() { regions.clear(); }

void ResetReport() {
  probe_report_reset();
  output.clear();
}

const std::string& Output() { return output; }

std::vector<CheckResult> Results() {
  std::vector<CheckResult> results;
  for (uint32_t i = 0; i < probe_report_count(); ++i) {
    results.push_back({probe_report_name(i), probe_report_ok(i) != 0, probe_report_detail(i)});
  }
  return results;
}

std::string Failures() {
  std::string text;
  for (const CheckResult& r : Results()) {
    if (!r.ok) text += (text.empty() ? "" : "; ") + r.name + ": " + r.detail;
  }
  return text;
}

bool Failed(const std::string& name) {
  for (const CheckResult& r : Results()) {
    if (r.name == name) return !r.ok;
  }
  return false;
}

}  // namespace probe_host
