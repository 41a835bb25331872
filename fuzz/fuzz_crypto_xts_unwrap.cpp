// Decrypts arbitrary data units with XTS and unwraps arbitrary wrapped keys: nothing may be
// read or written outside the buffers, in-place and separate output must agree, and an
// unwrap that succeeds must report the length it wrote.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "crypto/key_unwrap.h"
#include "crypto/xts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size <= 1 + 64 + 16) return 0;
  const uint32_t keyLength = 16 + 8 * (data[0] % 3);
  const uint8_t* keys = data + 1;
  const uint8_t* tweak = data + 65;
  std::vector<uint8_t> unit(data + 81, data + size);

  XtsContext ctx;
  if (XtsSetKey(0, keys, keyLength, keys + 32, &ctx) != 0) abort();
  std::vector<uint8_t> out(unit.size());
  int status = XtsDecrypt(unit.data(), unit.size(), out.data(), tweak, &ctx);
  if (status != (unit.size() < 16 ? 16 : 0)) abort();
  std::vector<uint8_t> inPlace = unit;
  XtsDecrypt(inPlace.data(), inPlace.size(), inPlace.data(), tweak, &ctx);
  if (status == 0 && inPlace != out) abort();
  XtsClear(&ctx);

  std::vector<uint8_t> wrapped(unit.begin(), unit.begin() + (unit.size() < 48 ? unit.size() : 48));
  std::vector<uint8_t> key(wrapped.size());
  size_t length = key.size();
  if (AesKeyUnwrap(keys, 16, kAesKeyWrapDefaultIv, wrapped.data(), wrapped.size(), key.data(), &length) == 0 &&
      length != wrapped.size() - 8) {
    abort();
  }
  return 0;
}
