#include "config/plist_data.h"

#include "memory/memory.h"
#include "lib/mem.h"

namespace {

constexpr UINTN kDataGrowth = 4096;

struct ByteBuffer {
  UINT8* bytes = nullptr;
  UINTN length = 0;
  UINTN capacity = 0;
};

bool Grow(ByteBuffer* buffer) {
  auto* bigger = static_cast<UINT8*>(PoolAllocate(buffer->capacity + kDataGrowth));
  if (!bigger) return false;
  if (buffer->bytes) {
    MemCopy(bigger, buffer->bytes, buffer->length);
    PoolFree(buffer->bytes);
  }
  buffer->bytes = bigger;
  buffer->capacity += kDataGrowth;
  return true;
}

bool Append(ByteBuffer* buffer, UINT8 byte) {
  if (buffer->length >= buffer->capacity && !Grow(buffer)) return false;
  buffer->bytes[buffer->length++] = byte;
  return true;
}

EFI_STATUS Finish(ByteBuffer* buffer, bool ok, UINT8** data, UINT64* length) {
  if (!ok) {
    PoolFree(buffer->bytes);
    return EFI_OUT_OF_RESOURCES;
  }
  *data = buffer->bytes;
  *length = buffer->length;
  return EFI_SUCCESS;
}

// Value of a Base64 character, or -1 outside the alphabet.
int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Emits the bytes of a group of `count` sextets held in the top of `bits`.
bool EmitGroup(ByteBuffer* buffer, UINT32 bits, int count) {
  bits <<= 6 * (4 - count);
  int bytes = count - 1;  // 4 sextets: 3 bytes, 3: 2, 2: 1, 1: none
  for (int i = 0; i < bytes; ++i) {
    if (!Append(buffer, static_cast<UINT8>(bits >> (16 - 8 * i)))) return false;
  }
  return true;
}

}  // namespace

EFI_STATUS PlistDecodeBase64(const char* content, UINT8** data, UINT64* length) {
  ByteBuffer buffer;
  bool ok = Grow(&buffer);
  UINT32 bits = 0;
  int count = 0;
  for (const char* c = content; ok && *c; ++c) {
    int value = Base64Value(*c);
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<UINT32>(value);
    if (++count == 4) {
      ok = EmitGroup(&buffer, bits, 4);
      bits = 0;
      count = 0;
    }
  }
  if (ok && count > 1) ok = EmitGroup(&buffer, bits, count);
  return Finish(&buffer, ok, data, length);
}

EFI_STATUS PlistDecodeHex(const char* content, UINT8** data, UINT64* length) {
  ByteBuffer buffer;
  bool ok = Grow(&buffer);
  int high = -1;
  for (const char* c = content; ok && *c; ++c) {
    int value = HexValue(*c);
    if (value < 0) continue;
    if (high < 0) {
      high = value;
    } else {
      ok = Append(&buffer, static_cast<UINT8>(high << 4 | value));
      high = -1;
    }
  }
  return Finish(&buffer, ok, data, length);
}
