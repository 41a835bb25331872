#include <openssl/evp.h>

#include "crypto_test_support.h"
#include "crypto/aes.h"

namespace {

class AesTest : public CryptoPathTest {
 protected:
  void SetUp() override {
    CryptoPathTest::SetUp();
    if (HostLacks(CryptoFeatures().aes)) GTEST_SKIP() << "host processor has no AES instructions";
  }
};
CRYPTO_PATHS(AesTest);

struct AesVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

// FIPS 197 appendix C.
const AesVector kFips197[] = {
    {"000102030405060708090a0b0c0d0e0f", "00112233445566778899aabbccddeeff", "69c4e0d86a7b0430d8cdb78070b4c55a"},
    {"000102030405060708090a0b0c0d0e0f1011121314151617", "00112233445566778899aabbccddeeff",
     "dda97ca4864cdfe06eaf70a0ec0d7191"},
    {"000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f", "00112233445566778899aabbccddeeff",
     "8ea2b7ca516745bfeafc49904b496089"},
};

TEST_P(AesTest, Fips197KnownAnswers) {
  for (const auto& v : kFips197) {
    Bytes key = Hex(v.key), plain = Hex(v.plain), cipher = Hex(v.cipher);
    AesSchedule enc, dec;
    ASSERT_EQ(AesEncryptKey(key.data(), static_cast<uint32_t>(key.size()), &enc), 0);
    ASSERT_EQ(AesDecryptKey(key.data(), static_cast<uint32_t>(key.size() * 8), &dec), 0);
    EXPECT_EQ(enc.roundBytes, 16 * (key.size() / 4 + 6));
    Bytes out(16);
    ASSERT_EQ(AesEncryptBlock(plain.data(), out.data(), &enc), 0);
    EXPECT_EQ(ToHex(out), v.cipher);
    ASSERT_EQ(AesDecryptBlock(cipher.data(), out.data(), &dec), 0);
    EXPECT_EQ(ToHex(out), v.plain);
    // In place.
    ASSERT_EQ(AesEncryptBlock(out.data(), out.data(), &enc), 0);
    EXPECT_EQ(ToHex(out), v.cipher);
  }
}

TEST_P(AesTest, RefusesBadKeysSchedulesAndMissingPointers) {
  uint8_t key[32] = {}, block[16] = {};
  AesSchedule s;
  for (uint32_t length : {0u, 8u, 15u, 17u, 20u, 33u, 64u, 127u, 129u, 512u}) {
    EXPECT_EQ(AesEncryptKey(key, length, &s), -1) << length;
    EXPECT_EQ(AesDecryptKey(key, length, &s), -1) << length;
  }
  EXPECT_EQ(AesEncryptKey(nullptr, 16, &s), -1);
  EXPECT_EQ(AesDecryptKey(key, 16, nullptr), -1);
  ASSERT_EQ(AesDecryptKey(key, 16, &s), 0);
  EXPECT_EQ(AesDecryptBlock(nullptr, block, &s), -1);
  EXPECT_EQ(AesDecryptBlock(block, nullptr, &s), -1);
  EXPECT_EQ(AesCbcDecrypt(block, nullptr, 1, block, &s), -1);
  for (uint8_t roundBytes : {0, 144, 176, 208, 240}) {
    s.roundBytes = roundBytes;
    EXPECT_EQ(AesEncryptBlock(block, block, &s), -1);
    EXPECT_EQ(AesDecryptBlock(block, block, &s), -1);
    EXPECT_EQ(AesCbcDecrypt(block, block, 1, block, &s), -1);
  }
}

// NIST SP 800-38A F.2.2 (CBC-AES128) and F.2.6 (CBC-AES256) decryption.
TEST_P(AesTest, Sp80038aCbcDecryption) {
  const Bytes iv = Hex("000102030405060708090a0b0c0d0e0f");
  const std::string plain =
      "6bc1bee22e409f96e93d7e117393172aae2d8a571e03ac9c9eb76fac45af8e51"
      "30c81c46a35ce411e5fbc1191a0a52eff69f2445df4f9b17ad2b417be66c3710";
  struct {
    const char* key;
    const char* cipher;
  } cases[] = {
      {"2b7e151628aed2a6abf7158809cf4f3c",
       "7649abac8119b246cee98e9b12e9197d5086cb9b507219ee95db113a917678b2"
       "73bed6b8e3c1743b7116e69e222295163ff1caa1681fac09120eca307586e1a7"},
      {"603deb1015ca71be2b73aef0857d77811f352c073b6108d72d9810a30914dff4",
       "f58c4c04d6e5f1ba779eabfb5f7bfbd69cfc4e967edb808d679f777bc6702c7d"
       "39f23369a9d9bacfa530e26304231461b2eb05e2c39be9fcda6c19078c6a9d1b"},
  };
  for (const auto& c : cases) {
    Bytes key = Hex(c.key), cipher = Hex(c.cipher), out(cipher.size());
    AesSchedule s;
    ASSERT_EQ(AesDecryptKey(key.data(), static_cast<uint32_t>(key.size()), &s), 0);
    ASSERT_EQ(AesCbcDecrypt(cipher.data(), iv.data(), 4, out.data(), &s), 0);
    EXPECT_EQ(ToHex(out), plain);
    ASSERT_EQ(AesCbcDecrypt(cipher.data(), iv.data(), 4, cipher.data(), &s), 0);  // in place
    EXPECT_EQ(ToHex(cipher), plain);
  }
}

const EVP_CIPHER* EcbCipher(size_t keyBytes) {
  return keyBytes == 16 ? EVP_aes_128_ecb() : keyBytes == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
}
const EVP_CIPHER* CbcCipher(size_t keyBytes) {
  return keyBytes == 16 ? EVP_aes_128_cbc() : keyBytes == 24 ? EVP_aes_192_cbc() : EVP_aes_256_cbc();
}

Bytes OpenSslCrypt(const EVP_CIPHER* cipher, const Bytes& key, const uint8_t* iv, const Bytes& in, bool encrypt) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, cipher, nullptr, key.data(), iv, encrypt ? 1 : 0);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  Bytes out(in.size() + 16);
  int n = 0, m = 0;
  EVP_CipherUpdate(ctx, out.data(), &n, in.data(), static_cast<int>(in.size()));
  EVP_CipherFinal_ex(ctx, out.data() + n, &m);
  EVP_CIPHER_CTX_free(ctx);
  out.resize(n + m);
  return out;
}

TEST_P(AesTest, MatchesOpenSslOnRandomKeysAndRuns) {
  std::mt19937 rng(1234);
  for (int round = 0; round < 60; ++round) {
    size_t keyBytes = 16 + 8 * (round % 3);
    Bytes key = RandomBytes(rng, keyBytes), iv = RandomBytes(rng, 16);
    size_t blocks = rng() % 40;
    Bytes data = RandomBytes(rng, 16 * blocks + 16);
    AesSchedule enc, dec;
    ASSERT_EQ(AesEncryptKey(key.data(), static_cast<uint32_t>(keyBytes), &enc), 0);
    ASSERT_EQ(AesDecryptKey(key.data(), static_cast<uint32_t>(keyBytes), &dec), 0);

    Bytes block(data.begin(), data.begin() + 16), out(16);
    AesEncryptBlock(block.data(), out.data(), &enc);
    EXPECT_EQ(out, OpenSslCrypt(EcbCipher(keyBytes), key, nullptr, block, true));
    AesDecryptBlock(block.data(), out.data(), &dec);
    EXPECT_EQ(out, OpenSslCrypt(EcbCipher(keyBytes), key, nullptr, block, false));

    Bytes run(data.begin(), data.begin() + 16 * blocks);
    Bytes expected = OpenSslCrypt(CbcCipher(keyBytes), key, iv.data(), run, false);
    Bytes ivCopy = iv;
    Bytes plain(run.size());
    ASSERT_EQ(AesCbcDecrypt(run.data(), ivCopy.data(), blocks, plain.data(), &dec), 0);
    EXPECT_EQ(plain, expected) << "blocks " << blocks;
    EXPECT_EQ(ivCopy, iv);
    ASSERT_EQ(AesCbcDecrypt(run.data(), iv.data(), blocks, run.data(), &dec), 0);
    EXPECT_EQ(run, expected) << "in place, blocks " << blocks;
  }
}

TEST(AesPaths, InstructionAndTableSchedulesAreInterchangeable) {
  TestFirmware fw;
  if (!CryptoFeatures().aes) GTEST_SKIP() << "host processor has no AES instructions";
  std::mt19937 rng(99);
  Bytes key = RandomBytes(rng, 32), data = RandomBytes(rng, 16 * 21), iv = RandomBytes(rng, 16);
  AesSchedule dec;
  ASSERT_EQ(AesDecryptKey(key.data(), 32, &dec), 0);
  Bytes viaInstructions(data.size()), viaTables(data.size());
  AesCbcDecrypt(data.data(), iv.data(), 21, viaInstructions.data(), &dec);
  HwFakeSetAesInstructions(false);
  CryptoRecordProcessorFeatures();
  EXPECT_FALSE(CryptoFeatures().aes);
  AesCbcDecrypt(data.data(), iv.data(), 21, viaTables.data(), &dec);
  EXPECT_EQ(viaInstructions, viaTables);
}

}  // namespace
