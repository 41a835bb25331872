#include "lib/mem.h"

void MemCopy(void* dst, const void* src, size_t size) {
  uint8_t* d = static_cast<uint8_t*>(dst);
  const uint8_t* s = static_cast<const uint8_t*>(src);
  if (d == s || size == 0) return;
  if (d < s || d >= s + size) {
    if (size >= 256) {
      // Large forward copies (kernel images, decompressed matches far apart): the string
      // move is the fastest general copy on processors of the last decade.
      __asm__ volatile("rep movsb" : "+D"(d), "+S"(s), "+c"(size) : : "memory");
      return;
    }
    // Word-sized steps while both are aligned keep mid-sized copies quick.
    if (((reinterpret_cast<uintptr_t>(d) | reinterpret_cast<uintptr_t>(s)) & 7) == 0) {
      for (; size >= 8; size -= 8, d += 8, s += 8) *reinterpret_cast<uint64_t*>(d) = *reinterpret_cast<const uint64_t*>(s);
    }
    while (size--) *d++ = *s++;
  } else {
    d += size;
    s += size;
    while (size--) *--d = *--s;
  }
}

void MemSet(void* dst, uint8_t value, size_t size) {
  uint8_t* d = static_cast<uint8_t*>(dst);
  if ((reinterpret_cast<uintptr_t>(d) & 7) == 0) {
    uint64_t word = 0x0101010101010101ull * value;
    for (; size >= 8; size -= 8, d += 8) *reinterpret_cast<uint64_t*>(d) = word;
  }
  while (size--) *d++ = value;
}

int MemCompare(const void* a, const void* b, size_t size) {
  const uint8_t* x = static_cast<const uint8_t*>(a);
  const uint8_t* y = static_cast<const uint8_t*>(b);
  for (size_t i = 0; i < size; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}

void SecureZero(void* dst, size_t size) {
  // Plain stores, then a compiler barrier that claims to read the memory: the stores cannot
  // be dropped as dead, and word-wide stores keep large wipes (XTS units) cheap.
  MemSet(dst, 0, size);
  __asm__ volatile("" : : "r"(dst) : "memory");
}
