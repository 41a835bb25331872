// The probe kernel's checking code compiled for the host: its physical memory is a set of
// byte buffers registered at chosen addresses, its serial output a string.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "probe/probe_checks.h"
#include "probe/probe_report.h"
#include "probe/probe_text.h"
#include "probe/probe_tree.h"

namespace probe_host {

// Makes bytes visible to the checks at physical address until Forget (the caller keeps
// them alive and unmoved meanwhile).
void Map(uint32_t address, const std::vector<uint8_t>& bytes);
void Forget();

// Clears the report and the captured output.
void ResetReport();
const std::string& Output();

struct CheckResult {
  std::string name;
  bool ok;
  std::string detail;
};
std::vector<CheckResult> Results();
// Names of the failed checks, joined by "; " with their details (empty when all passed).
std::string Failures();
bool Failed(const std::string& name);

}  // namespace probe_host
