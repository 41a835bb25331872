// Fuzzes the UCS-2 engine's format strings (input bytes taken in pairs, little-endian). Every
// argument slot holds a pointer that is safe for every conversion: null, or a buffer of at least
// 16 bytes (a GUID, a time record) ending in zeros (a terminated 8-bit and UCS-2 string). Each
// "%" and each "*" takes at most one argument, so formats are cut before the one that would
// need more than are passed. The number printers and the status names get the raw bytes too.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "output/unicode_format.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

constexpr size_t kArgumentCount = 16;

alignas(8) const uint8_t kZeros[32] = {};
alignas(8) const uint8_t kText[48] = {'h', 0, 'i', 0, 0xE9, 0, 0x41, 0x01, 0, 0};
alignas(8) const uint8_t kTime[32] = {0xE8, 0x07, 12, 31, 23, 59, 58, 0};  // also a GUID

const void* const kSafe[] = {kText, kTime, nullptr, kZeros};

const void* Arg(size_t i) { return kSafe[i % (sizeof(kSafe) / sizeof(kSafe[0]))]; }

#define HEARTH_FUZZ_ARGS                                                                                     \
  Arg(0), Arg(1), Arg(2), Arg(3), Arg(4), Arg(5), Arg(6), Arg(7), Arg(8), Arg(9), Arg(10), Arg(11), Arg(12), \
      Arg(13), Arg(14), Arg(15)

std::u16string SafeFormat(const uint8_t* data, size_t size) {
  std::u16string format;
  size_t taken = 0;
  for (size_t i = 0; i + 1 < size; i += 2) {
    char16_t c = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    if (c == 0) break;
    if ((c == u'%' || c == u'*') && ++taken > kArgumentCount) break;
    format.push_back(c);
  }
  return format;
}

void FuzzNumbers(const uint8_t* data, size_t size) {
  uint64_t value = 0;
  for (size_t i = 0; i < size && i < 8; ++i) value |= uint64_t(data[i]) << (8 * i);
  uint32_t flags = size > 1 ? data[1] : 0;
  size_t width = size > 2 ? data[2] : 0;
  size_t count = size > 3 ? data[3] % (kUnicodeNumberCount + 1) : kUnicodeNumberCount;
  std::vector<char16_t> text(count + 1);
  if (ValueToHexText(text.data(), count, value, flags, width) > count) __builtin_trap();
  if (ValueToDecimalText(text.data(), count, value, flags, width) > count) __builtin_trap();
  char16_t status[40];
  if (StatusToText(value, status, sizeof(status)) > 24) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TestFirmware* firmware = new TestFirmware;
  (void)firmware;
  if (size == 0) return 0;
  FuzzNumbers(data, size);
  size_t bound = data[0];  // bytes, odd sizes included
  std::u16string format = SafeFormat(data + 1, size - 1);

  std::vector<char16_t> buffer((bound + 1) / 2);
  UINTN n = UnicodeSPrint(buffer.data(), bound, format.c_str(), HEARTH_FUZZ_ARGS);
  if (bound < 2) {
    if (n != 0) __builtin_trap();
  } else {
    if (n < 1 || n > bound / 2 || buffer[n - 1] != 0) __builtin_trap();
  }
  if (TrackedAllocationCount() != 0) __builtin_trap();
  return 0;
}
