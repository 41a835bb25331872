// The few symbols the compiler expects from a C runtime, for the firmware image only:
// clang lowers structure copies and large initialisers to memcpy/memset calls.
#ifndef HEARTH_HOST

#include "lib/mem.h"

extern "C" {

int _fltused = 0;

void* memcpy(void* dst, const void* src, size_t size) {
  MemCopy(dst, src, size);
  return dst;
}

void* memmove(void* dst, const void* src, size_t size) {
  MemCopy(dst, src, size);
  return dst;
}

void* memset(void* dst, int value, size_t size) {
  MemSet(dst, static_cast<uint8_t>(value), size);
  return dst;
}

int memcmp(const void* a, const void* b, size_t size) { return MemCompare(a, b, size); }

}  // extern "C"

#endif
