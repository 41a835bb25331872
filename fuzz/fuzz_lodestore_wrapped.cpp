// The key file's wrapped structures and key check records: the passphrase-wrapped KEK and the
// KEK-wrapped key layouts, the key check over the input's own bytes, and the unwrap with a
// KEK taken from the input. Hash counts are cut to keep runs about parsing.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fde/wrapped_key.h"
#include "lib/mem.h"

namespace {

constexpr uint32_t kMaxFuzzHashCount = 64;

// A copy whose key check records ask for few rounds.
std::vector<uint8_t> Tamed(const uint8_t* data, size_t size) {
  std::vector<uint8_t> copy(data, data + size);
  for (size_t at : {kPassphraseWrapCheckOffset + kKeyCheckCountOffset, kKeyWrapCheckOffset + kKeyCheckCountOffset,
                    kKeyCheckCountOffset}) {
    if (at + 4 <= copy.size()) StoreLe32(&copy[at], LoadLe32(&copy[at]) % kMaxFuzzHashCount);
  }
  return copy;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes = Tamed(data, size);
  ByteSpan input(bytes.data(), bytes.size());
  PassphraseWrappedKek passphrase;
  if (!EFI_ERROR(PassphraseWrappedKekParse(input, &passphrase))) {
    if (passphrase.salt.size() == 0 || passphrase.salt.size() > 16 || passphrase.wrapped.size() > 40 ||
        passphrase.check.size() != kKeyCheckRecordSize) {
      abort();
    }
    KeyRecord kek;
    UnwrapAndCheck(bytes.data(), passphrase.wrapped, passphrase.check, &kek);  // the first 16 bytes as the key
  }
  KeyWrappedKey wrapped;
  if (!EFI_ERROR(KeyWrappedKeyParse(input, &wrapped))) {
    if (wrapped.wrapped.size() < 16 || wrapped.wrapped.size() > 40 || wrapped.check.size() != kKeyCheckRecordSize) {
      abort();
    }
    KeyRecord key;
    if (!EFI_ERROR(UnwrapAndCheck(bytes.data() + 8, wrapped.wrapped, wrapped.check, &key)) && key.length > 32) abort();
  }
  if (size >= kKeyCheckRecordSize) {
    KeyCheckPasses(ByteSpan(bytes.data(), kKeyCheckRecordSize), bytes.data() + kKeyCheckRecordSize,
                   size - kKeyCheckRecordSize > kKeyRecordMaxBytes ? kKeyRecordMaxBytes : size - kKeyCheckRecordSize);
  }
  return 0;
}
