// Memory and byte helpers of the loader's own (the firmware image has no C library).
#pragma once

#include <stddef.h>
#include <stdint.h>

void MemCopy(void* dst, const void* src, size_t size);   // regions may overlap
void MemSet(void* dst, uint8_t value, size_t size);
inline void MemZero(void* dst, size_t size) { MemSet(dst, 0, size); }
int MemCompare(const void* a, const void* b, size_t size);

// Zero-fills memory that held a secret; the compiler may not drop these stores.
void SecureZero(void* dst, size_t size);

// Little-endian loads and stores at any alignment.
inline uint16_t LoadLe16(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}
inline uint32_t LoadLe32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return uint32_t(b[0]) | (uint32_t(b[1]) << 8) | (uint32_t(b[2]) << 16) | (uint32_t(b[3]) << 24);
}
inline uint64_t LoadLe64(const void* p) {
  return LoadLe32(p) | (uint64_t(LoadLe32(static_cast<const uint8_t*>(p) + 4)) << 32);
}
inline uint32_t LoadBe32(const void* p) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  return (uint32_t(b[0]) << 24) | (uint32_t(b[1]) << 16) | (uint32_t(b[2]) << 8) | uint32_t(b[3]);
}
inline uint64_t LoadBe64(const void* p) {
  return (uint64_t(LoadBe32(p)) << 32) | LoadBe32(static_cast<const uint8_t*>(p) + 4);
}
inline void StoreLe16(void* p, uint16_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  b[0] = uint8_t(v);
  b[1] = uint8_t(v >> 8);
}
inline void StoreLe32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
}
inline void StoreLe64(void* p, uint64_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  for (int i = 0; i < 8; ++i) b[i] = uint8_t(v >> (8 * i));
}
inline void StoreBe32(void* p, uint32_t v) {
  uint8_t* b = static_cast<uint8_t*>(p);
  for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (24 - 8 * i));
}
