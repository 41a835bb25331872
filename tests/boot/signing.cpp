#include "tests/boot/signing.h"

#include <gtest/gtest.h>

#include "platform/signature_service.h"

EVP_PKEY* TrustedKey() {
  static EvpKey key = GenerateRsa2048Key();
  return key.get();
}

EVP_PKEY* OtherKey() {
  static EvpKey key = GenerateRsa2048Key();
  return key.get();
}

std::vector<uint8_t> PatternImage(size_t size, uint32_t seed) {
  std::vector<uint8_t> image(size);
  uint32_t x = seed * 2654435761u + 1;
  for (auto& b : image) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return image;
}

std::vector<uint8_t> SignedChunkList(const std::vector<uint8_t>& image, uint32_t chunk_size, uint8_t additional,
                                     int good_slot) {
  std::vector<uint8_t> list = ChunkListLayout(image, chunk_size, additional);
  std::vector<uint8_t> digest = ChunkListSignedDigest(list);
  for (int slot = 0; slot <= additional; ++slot) {
    EVP_PKEY* key = slot == good_slot ? TrustedKey() : OtherKey();
    EXPECT_TRUE(ChunkListPutSignature(&list, slot, SignDigest(key, digest)));
  }
  return list;
}

void InstallTrustedSignatureService() {
  std::vector<uint8_t> modulus = RsaModulus(TrustedKey());
  ASSERT_EQ(SignatureServiceAddKey("test", 4, modulus.data(), modulus.size()), EFI_SUCCESS);
  ASSERT_EQ(InstallSignatureService(), EFI_SUCCESS);
}
