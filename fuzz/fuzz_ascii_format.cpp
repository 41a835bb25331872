// Fuzzes the 8-bit engine's format strings. Every argument slot holds a pointer that is safe
// for every conversion: null, or a buffer that is a whole device path, at least 16 bytes long
// and ends in zeros (so it is also a terminated 8-bit and UCS-2 string). Each "%" takes at most
// one argument, so formats are cut before the "%" that would need more than are passed.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "output/ascii_format.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

constexpr size_t kArgumentCount = 16;

alignas(8) const uint8_t kEndOnly[32] = {0x7F, 0xFF, 4, 0};
alignas(8) const uint8_t kDisk[64] = {2, 1, 12, 0, 0xD0, 0x41, 0x03, 0x0A, 0, 0, 0, 0,  // Acpi(PNP0A03,0)
                                      1, 1, 6, 0, 2, 0x1F,                              // Pci(1F|2)
                                      3, 18, 10, 0, 0, 0, 0, 0, 0, 0,                   // SATA(0,0)
                                      0x7F, 0xFF, 4, 0};
alignas(8) const uint8_t kFile[48] = {4, 4, 12, 0, '\\', 0, 'E', 0, 'F', 0, 0, 0,
                                      0x7F, 1, 4, 0, 6, 1, 6, 0, 0x12, 0x34,  // instance end, unknown
                                      0x7F, 0xFF, 4, 0};

const void* const kSafe[] = {kEndOnly, kDisk, kFile, nullptr};

const void* Arg(size_t i) { return kSafe[i % (sizeof(kSafe) / sizeof(kSafe[0]))]; }

#define HEARTH_FUZZ_ARGS                                                                                     \
  Arg(0), Arg(1), Arg(2), Arg(3), Arg(4), Arg(5), Arg(6), Arg(7), Arg(8), Arg(9), Arg(10), Arg(11), Arg(12), \
      Arg(13), Arg(14), Arg(15)

void StringSink(char c, void* context) { static_cast<std::string*>(context)->push_back(c); }

void FormatToString(std::string* out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  AsciiFormat(format, StringSink, out, args);
  va_end(args);
}

// The format up to the first NUL, cut before the argument-taking "%" beyond kArgumentCount.
std::string SafeFormat(const uint8_t* data, size_t size) {
  std::string format;
  size_t percents = 0;
  for (size_t i = 0; i < size && data[i]; ++i) {
    if (data[i] == '%' && ++percents > kArgumentCount) break;
    format.push_back(static_cast<char>(data[i]));
  }
  return format;
}

void FuzzNumber(const uint8_t* data, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size && i < 8; ++i) value |= uint64_t(data[i]) << (8 * i);
  uint32_t base = size > 0 ? data[0] % 18 : 10;
  uint32_t flags = size > 1 ? data[1] & 0xF : 0;
  uint32_t width = size > 2 ? data[2] * 5u : 0;
  std::string out;
  AsciiFormatNumber(value, base, flags, width, StringSink, &out);
  if (out.empty() || out.size() > 64 + width + 3) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TestFirmware* firmware = new TestFirmware;
  (void)firmware;
  if (size == 0) return 0;
  FuzzNumber(data, size);
  size_t bound = data[0];
  std::string format = SafeFormat(data + 1, size - 1);

  std::string whole;
  FormatToString(&whole, format.c_str(), HEARTH_FUZZ_ARGS);
  std::vector<char> buffer(bound);  // exactly the size given, so a write past it is caught
  UINTN n = AsciiSNPrint(buffer.data(), bound, format.c_str(), HEARTH_FUZZ_ARGS);
  if (bound == 0) {
    if (n != 0) __builtin_trap();
  } else {
    if (n >= bound || buffer[n] != 0) __builtin_trap();
    if (n != (whole.size() < bound ? whole.size() : bound - 1)) __builtin_trap();
    if (whole.compare(0, n, buffer.data(), n) != 0) __builtin_trap();  // bounded output is a prefix
  }
  if (TrackedAllocationCount() != 0) __builtin_trap();
  return 0;
}
