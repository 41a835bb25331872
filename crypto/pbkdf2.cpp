#include "crypto/pbkdf2.h"

#include "crypto/hmac.h"
#include "crypto/processor_features.h"
#include "crypto/sha256_internal.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

struct PrfEntry {
  uint32_t outputSize;
  int hashId;
};
constexpr PrfEntry kPrfs[] = {{20, 0}, {28, 5}, {32, 2}, {48, 3}, {64, 4}};

// Everything derived from the password during one call; wiped when it goes out of scope.
struct Pbkdf2State {
  uint32_t inner[8];
  uint32_t outer[8];
  uint32_t u[8];
  uint32_t sum[8];
  uint8_t block[kSha256DigestSize];
  HmacContext hmac;
  ~Pbkdf2State() { CryptoWipe(this, sizeof(*this)); }
};

// U1 = HMAC(password, salt || index); the iterations run on the compression function
// directly, from the pad states computed once per call.
void DeriveBlock(Pbkdf2State& s, const uint8_t* password, size_t passwordLength, const uint8_t* salt,
                 size_t saltLength, uint32_t index, uint32_t iterations, bool instructions) {
  uint8_t indexBytes[4];
  StoreBe32(indexBytes, index);
  HmacInit(&s.hmac, kHmacSha256, password, passwordLength);
  HmacUpdate(&s.hmac, salt, saltLength);
  HmacUpdate(&s.hmac, indexBytes, sizeof(indexBytes));
  HmacFinal(&s.hmac, s.block);
  for (int i = 0; i < 8; ++i) s.u[i] = s.sum[i] = LoadBe32(s.block + 4 * i);
  if (instructions) {
    Sha256NiPbkdf2Iterate(s.inner, s.outer, s.u, s.sum, iterations);
  } else {
    Sha256PortablePbkdf2Iterate(s.inner, s.outer, s.u, s.sum, iterations);
  }
  for (int i = 0; i < 8; ++i) StoreBe32(s.block + 4 * i, s.sum[i]);
}

void DeriveKey(const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
               uint32_t iterations, uint8_t* derivedKey, size_t derivedLength) {
  const bool instructions = CryptoUseShaInstructions(CryptoFeatures());
  Pbkdf2State s;
  HmacSha256PadStates(password, passwordLength, s.inner, s.outer);
  uint32_t index = 1;
  for (size_t done = 0; done < derivedLength; done += kSha256DigestSize, ++index) {
    DeriveBlock(s, password, passwordLength, salt, saltLength, index, iterations, instructions);
    size_t take = derivedLength - done < kSha256DigestSize ? derivedLength - done : kSha256DigestSize;
    MemCopy(derivedKey + done, s.block, take);
  }
}

}  // namespace

uint32_t Pbkdf2PrfOutputSize(uint32_t prfSelector) {
  return prfSelector >= 1 && prfSelector <= 5 ? kPrfs[prfSelector - 1].outputSize : 0;
}

int Pbkdf2PrfHashId(uint32_t prfSelector) {
  return prfSelector >= 1 && prfSelector <= 5 ? kPrfs[prfSelector - 1].hashId : -1;
}

int Pbkdf2(uint32_t kind, const uint8_t* password, size_t passwordLength, const uint8_t* salt, size_t saltLength,
           uint32_t prfSelector, uint32_t iterations, uint8_t* derivedKey, size_t derivedLength) {
  if (!derivedKey || derivedLength < 1) return -1;
  MemZero(derivedKey, derivedLength);
  if (kind != kPbkdf2KindHmac || !password || !salt || saltLength < 1 || iterations < 1) return -1;
  if (Pbkdf2PrfHashId(prfSelector) != static_cast<int>(kHmacSha256)) return -1;
  // Block indexes are 32 bits wide.
  if ((derivedLength - 1) / kSha256DigestSize >= 0xFFFFFFFFu) return -1;

  DeriveKey(password, passwordLength, salt, saltLength, iterations, derivedKey, derivedLength);
  CryptoWipeStack();
  return 0;
}
