#include "platform/signature_service.h"

#include "efi/efi.h"
#include "efi/protocols/tarn_signature.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "platform/serial_output.h"

namespace {

constexpr size_t kLimbs = kRsa2048Bytes / 4;
constexpr size_t kDigestSize = 32;

// Little-endian 32-bit limbs.
struct Number {
  uint32_t limb[kLimbs];
};

struct TrustedKey {
  char name[kSignatureKeyNameMax + 1];
  Number modulus;
  uint32_t n0_inverse;  // -modulus^-1 mod 2^32
  Number r_squared;     // 2^4096 mod modulus
};

TrustedKey gKeys[kSignatureServiceMaxKeys];
size_t gKeyCount = 0;

void ResetKeys() { gKeyCount = 0; }
HEARTH_HOST_RESET(ResetKeys);

// DER DigestInfo of a SHA-256 digest (RFC 8017, section 9.2).
constexpr uint8_t kSha256DigestInfo[] = {0x30, 0x31, 0x30, 0x0D, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                                         0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};

Number FromBigEndian(const uint8_t* bytes) {
  Number n;
  for (size_t i = 0; i < kLimbs; ++i) n.limb[i] = LoadBe32(bytes + kRsa2048Bytes - 4 * (i + 1));
  return n;
}

void ToBigEndian(const Number& n, uint8_t* bytes) {
  for (size_t i = 0; i < kLimbs; ++i) StoreBe32(bytes + kRsa2048Bytes - 4 * (i + 1), n.limb[i]);
}

bool LessThan(const Number& a, const Number& b) {
  for (size_t i = kLimbs; i-- > 0;) {
    if (a.limb[i] != b.limb[i]) return a.limb[i] < b.limb[i];
  }
  return false;
}

void SubtractInPlace(Number* a, const Number& b) {
  uint64_t borrow = 0;
  for (size_t i = 0; i < kLimbs; ++i) {
    uint64_t d = uint64_t(a->limb[i]) - b.limb[i] - borrow;
    a->limb[i] = static_cast<uint32_t>(d);
    borrow = (d >> 63) & 1;
  }
}

uint32_t NegativeInverse(uint32_t n0) {
  uint32_t x = n0;  // correct to 3 bits for odd n0; each step doubles that
  for (int i = 0; i < 5; ++i) x *= 2 - n0 * x;
  return 0u - x;
}

// a * b * 2^-2048 mod n (Montgomery multiplication, operand scanning).
Number MontgomeryMultiply(const Number& a, const Number& b, const TrustedKey& key) {
  uint32_t t[kLimbs + 2] = {};
  for (size_t i = 0; i < kLimbs; ++i) {
    uint64_t carry = 0;
    for (size_t j = 0; j < kLimbs; ++j) {
      uint64_t sum = t[j] + uint64_t(a.limb[j]) * b.limb[i] + carry;
      t[j] = static_cast<uint32_t>(sum);
      carry = sum >> 32;
    }
    uint64_t top = t[kLimbs] + carry;
    t[kLimbs] = static_cast<uint32_t>(top);
    t[kLimbs + 1] = static_cast<uint32_t>(top >> 32);
    uint32_t m = t[0] * key.n0_inverse;
    carry = (t[0] + uint64_t(m) * key.modulus.limb[0]) >> 32;
    for (size_t j = 1; j < kLimbs; ++j) {
      uint64_t sum = t[j] + uint64_t(m) * key.modulus.limb[j] + carry;
      t[j - 1] = static_cast<uint32_t>(sum);
      carry = sum >> 32;
    }
    top = t[kLimbs] + carry;
    t[kLimbs - 1] = static_cast<uint32_t>(top);
    t[kLimbs] = t[kLimbs + 1] + static_cast<uint32_t>(top >> 32);
  }
  Number out;
  MemCopy(out.limb, t, sizeof(out.limb));
  if (t[kLimbs] != 0 || !LessThan(out, key.modulus)) SubtractInPlace(&out, key.modulus);
  return out;
}

// 2^4096 mod n by doubling 1 four thousand and ninety-six times.
Number RSquared(const Number& n) {
  Number r = {};
  r.limb[0] = 1;
  for (int i = 0; i < 2 * 2048; ++i) {
    uint32_t carry = 0;
    for (size_t j = 0; j < kLimbs; ++j) {
      uint32_t next = r.limb[j] >> 31;
      r.limb[j] = (r.limb[j] << 1) | carry;
      carry = next;
    }
    if (carry || !LessThan(r, n)) SubtractInPlace(&r, n);
  }
  return r;
}

bool PrepareKey(const uint8_t* modulus, TrustedKey* key) {
  if ((modulus[kRsa2048Bytes - 1] & 1) == 0 || (modulus[0] & 0x80) == 0) return false;
  key->modulus = FromBigEndian(modulus);
  key->n0_inverse = NegativeInverse(key->modulus.limb[0]);
  key->r_squared = RSquared(key->modulus);
  return true;
}

bool VerifyWithKey(const TrustedKey& key, const uint8_t* digest, const uint8_t* signature) {
  Number s = FromBigEndian(signature);
  if (!LessThan(s, key.modulus)) return false;
  Number s_mont = MontgomeryMultiply(s, key.r_squared, key);
  Number x = s_mont;
  for (int i = 0; i < 16; ++i) x = MontgomeryMultiply(x, x, key);
  x = MontgomeryMultiply(x, s_mont, key);
  Number one = {};
  one.limb[0] = 1;
  x = MontgomeryMultiply(x, one, key);

  uint8_t expected[kRsa2048Bytes];
  size_t padding = kRsa2048Bytes - 3 - sizeof(kSha256DigestInfo) - kDigestSize;
  expected[0] = 0x00;
  expected[1] = 0x01;
  MemSet(expected + 2, 0xFF, padding);
  expected[2 + padding] = 0x00;
  MemCopy(expected + 3 + padding, kSha256DigestInfo, sizeof(kSha256DigestInfo));
  MemCopy(expected + 3 + padding + sizeof(kSha256DigestInfo), digest, kDigestSize);
  uint8_t actual[kRsa2048Bytes];
  ToBigEndian(x, actual);
  return MemCompare(actual, expected, kRsa2048Bytes) == 0;
}

EFI_STATUS EFIAPI VerifySignature(TarnSignatureProtocol*, const EFI_GUID* type, const UINT8* digest,
                                  UINTN digest_size, const UINT8* signature, UINTN signature_size) {
  if (!type || !digest || !signature) return EFI_INVALID_PARAMETER;
  if (!GuidEqual(*type, kEfiCertTypeRsa2048Sha256Guid) || digest_size != kDigestSize) return EFI_UNSUPPORTED;
  if (signature_size != kRsa2048Bytes) return EFI_SECURITY_VIOLATION;
  for (size_t i = 0; i < gKeyCount; ++i) {
    if (VerifyWithKey(gKeys[i], digest, signature)) {
      SerialWriteLine(PlatformText().Add("platform: signature accepted by key ").Add(gKeys[i].name));
      return EFI_SUCCESS;
    }
  }
  SerialWriteLine(PlatformText().Add("platform: signature matches no signing key"));
  return EFI_SECURITY_VIOLATION;
}

TarnSignatureProtocol gProtocol = {kTarnSignatureProtocolRevision, VerifySignature};

}  // namespace

bool Rsa2048Sha256Verify(const uint8_t* modulus, const uint8_t* digest, const uint8_t* signature) {
  TrustedKey key;
  return PrepareKey(modulus, &key) && VerifyWithKey(key, digest, signature);
}

EFI_STATUS SignatureServiceAddKey(const char* name, size_t name_length, const uint8_t* modulus, size_t size) {
  if (!modulus || size != kRsa2048Bytes) return EFI_INVALID_PARAMETER;
  if (gKeyCount == kSignatureServiceMaxKeys) return EFI_OUT_OF_RESOURCES;
  TrustedKey& key = gKeys[gKeyCount];
  if (!PrepareKey(modulus, &key)) return EFI_INVALID_PARAMETER;
  size_t length = name_length < kSignatureKeyNameMax ? name_length : kSignatureKeyNameMax;
  MemZero(key.name, sizeof(key.name));
  if (name) MemCopy(key.name, name, length);
  ++gKeyCount;
  return EFI_SUCCESS;
}

EFI_STATUS InstallSignatureService() {
  if (gKeyCount == 0) return EFI_NOT_STARTED;
  EFI_HANDLE handle = nullptr;
  return gBS->InstallProtocolInterface(&handle, &kTarnSignatureProtocolGuid, EFI_NATIVE_INTERFACE, &gProtocol);
}
