// A read-only view of bytes from outside (a file, a variable, firmware memory). Every
// access is checked against the view's length; offset + length overflow is caught before
// it can wrap.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "lib/mem.h"

class ByteSpan {
 public:
  constexpr ByteSpan() = default;
  constexpr ByteSpan(const void* data, size_t size) : data_(static_cast<const uint8_t*>(data)), size_(size) {}

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // True when [offset, offset + length) lies inside the view.
  bool Contains(size_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }

  // A sub-view, or false when it would leave this one.
  bool Slice(size_t offset, size_t length, ByteSpan* out) const {
    if (!Contains(offset, length)) return false;
    *out = ByteSpan(data_ + offset, length);
    return true;
  }

  bool ReadU8(size_t offset, uint8_t* out) const {
    if (!Contains(offset, 1)) return false;
    *out = data_[offset];
    return true;
  }
  bool ReadLe16(size_t offset, uint16_t* out) const {
    if (!Contains(offset, 2)) return false;
    *out = LoadLe16(data_ + offset);
    return true;
  }
  bool ReadLe32(size_t offset, uint32_t* out) const {
    if (!Contains(offset, 4)) return false;
    *out = LoadLe32(data_ + offset);
    return true;
  }
  bool ReadLe64(size_t offset, uint64_t* out) const {
    if (!Contains(offset, 8)) return false;
    *out = LoadLe64(data_ + offset);
    return true;
  }
  bool ReadBe32(size_t offset, uint32_t* out) const {
    if (!Contains(offset, 4)) return false;
    *out = LoadBe32(data_ + offset);
    return true;
  }
  // Copies a plain structure out of the view.
  template <typename T>
  bool Read(size_t offset, T* out) const {
    if (!Contains(offset, sizeof(T))) return false;
    MemCopy(out, data_ + offset, sizeof(T));
    return true;
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};
