// A line of 8-bit text the loader builds piece by piece for the serial port and the console.
// Pieces that do not fit are cut; the loader's messages are short.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "efi/types.h"

class PlatformText {
 public:
  static constexpr size_t kCapacity = 240;

  PlatformText& Add(const char* text);
  PlatformText& Add(const char* text, size_t length);
  // UCS-2 text; characters outside ASCII become '?'.
  PlatformText& AddUcs2(const CHAR16* text);
  PlatformText& AddDecimal(uint64_t value);
  // 0x followed by the value in upper-case hexadecimal, at least min_digits digits.
  PlatformText& AddHex(uint64_t value, int min_digits = 1);
  // The status as its name and its number: "Aborted (0x8000000000000015)".
  PlatformText& AddStatus(EFI_STATUS status);

  const char* c_str() const { return text_; }
  size_t size() const { return size_; }

 private:
  void Put(char c);

  char text_[kCapacity + 1] = {};
  size_t size_ = 0;
};

// The name of a status as firmware shells print it ("Aborted", "Not Found"), or null.
const char* StatusName(EFI_STATUS status);
