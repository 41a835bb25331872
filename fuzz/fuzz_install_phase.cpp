// The install-phase meter over a fuzzed phase list and current phase name: the list is parsed
// in place and walked; the meter must stay ordered and nothing may leak.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "handoff/platform_facts.h"
#include "testfw/test_firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first line is the current phase (at most 32 bytes, as the variable holds), the rest
  // the list (at most 1024 bytes).
  size_t split = 0;
  while (split < size && data[split] != '\n') ++split;
  std::string current(reinterpret_cast<const char*>(data), split < 32 ? split : 32);
  size_t rest = split < size ? split + 1 : size;
  std::vector<char> list(data + rest, data + size);
  if (list.size() > 1024) list.resize(1024);

  TestFirmware fw;
  UINT16 start = 0, end = 0;
  if (InstallPhaseMeter(list.data(), list.size(), current.c_str(), &start, &end) && start > end) std::abort();
  return 0;
}
