/* The few library routines a compiler may call even in freestanding code. */
#include <stddef.h>
#include <stdint.h>

void* memset(void* destination, int value, size_t length);
void* memcpy(void* destination, const void* source, size_t length);
void* memmove(void* destination, const void* source, size_t length);
int memcmp(const void* a, const void* b, size_t length);

void* memset(void* destination, int value, size_t length) {
  volatile uint8_t* d = (volatile uint8_t*)destination;
  while (length--) *d++ = (uint8_t)value;
  return destination;
}

void* memmove(void* destination, const void* source, size_t length) {
  volatile uint8_t* d = (volatile uint8_t*)destination;
  const volatile uint8_t* s = (const volatile uint8_t*)source;
  if (d < s) {
    while (length--) *d++ = *s++;
  } else {
    while (length--) d[length] = s[length];
  }
  return destination;
}

void* memcpy(void* destination, const void* source, size_t length) { return memmove(destination, source, length); }

int memcmp(const void* a, const void* b, size_t length) {
  const uint8_t* x = (const uint8_t*)a;
  const uint8_t* y = (const uint8_t*)b;
  for (size_t i = 0; i < length; ++i) {
    if (x[i] != y[i]) return x[i] < y[i] ? -1 : 1;
  }
  return 0;
}
