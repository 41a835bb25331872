#include <openssl/evp.h>

#include "crypto_test_support.h"
#include "crypto/xts.h"

namespace {

class XtsTest : public CryptoPathTest {
 protected:
  void SetUp() override {
    CryptoPathTest::SetUp();
    if (HostLacks(CryptoFeatures().aes)) GTEST_SKIP() << "host processor has no AES instructions";
  }
};
CRYPTO_PATHS(XtsTest);

// The tweak value of a data unit: its sequence number, little-endian.
Bytes UnitTweak(uint64_t sequence) {
  Bytes t(16, 0);
  for (int i = 0; i < 8; ++i) t[i] = static_cast<uint8_t>(sequence >> (8 * i));
  return t;
}

Bytes Counting(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i);
  return b;
}

struct XtsVector {
  const char* key1;
  const char* key2;
  uint64_t sequence;
  Bytes plain;
  const char* cipher;
};

// IEEE 1619 annex B: vectors 1 to 3 (whole blocks) and 15 to 18 (ciphertext stealing).
std::vector<XtsVector> Ieee1619Vectors() {
  const char* k15 = "fffefdfcfbfaf9f8f7f6f5f4f3f2f1f0";
  const char* k15b = "bfbebdbcbbbab9b8b7b6b5b4b3b2b1b0";
  return {
      {"00000000000000000000000000000000", "00000000000000000000000000000000", 0, Bytes(32, 0),
       "917cf69ebd68b2ec9b9fe9a3eadda692cd43d2f59598ed858c02c2652fbf922e"},
      {"11111111111111111111111111111111", "22222222222222222222222222222222", 0x3333333333, Bytes(32, 0x44),
       "c454185e6a16936e39334038acef838bfb186fff7480adc4289382ecd6d394f0"},
      {k15, "22222222222222222222222222222222", 0x3333333333, Bytes(32, 0x44),
       "af85336b597afc1a900b2eb21ec949d292df4c047e0b21532186a5971a227a89"},
      {k15, k15b, 0x123456789a, Counting(17), "6c1625db4671522d3d7599601de7ca09ed"},
      {k15, k15b, 0x123456789a, Counting(18), "d069444b7a7e0cab09e24447d24deb1fedbf"},
      {k15, k15b, 0x123456789a, Counting(19), "e5df1351c0544ba1350b3363cd8ef4beedbf9d"},
      {k15, k15b, 0x123456789a, Counting(20), "9d84c813f719aa2c7be3f66171c7c5c2edbf9dac"},
  };
}

TEST_P(XtsTest, Ieee1619KnownAnswers) {
  for (const auto& v : Ieee1619Vectors()) {
    Bytes k1 = Hex(v.key1), k2 = Hex(v.key2), cipher = Hex(v.cipher), tweak = UnitTweak(v.sequence);
    XtsContext ctx;
    ASSERT_EQ(XtsSetKey(7, k1.data(), 16, k2.data(), &ctx), kXtsOk);
    EXPECT_EQ(ctx.mode, 7u);
    Bytes out(cipher.size());
    ASSERT_EQ(XtsDecrypt(cipher.data(), cipher.size(), out.data(), tweak.data(), &ctx), kXtsOk);
    EXPECT_EQ(ToHex(out), ToHex(v.plain)) << v.cipher;
    ASSERT_EQ(XtsDecrypt(cipher.data(), cipher.size(), cipher.data(), tweak.data(), &ctx), kXtsOk);
    EXPECT_EQ(cipher, v.plain) << "in place " << v.cipher;
    XtsClear(&ctx);
  }
}

const EVP_CIPHER* XtsCipher(size_t keyBytes) { return keyBytes == 16 ? EVP_aes_128_xts() : EVP_aes_256_xts(); }

Bytes OpenSslXtsEncrypt(const Bytes& k1, const Bytes& k2, const Bytes& tweak, const Bytes& plain) {
  Bytes key = k1;
  key.insert(key.end(), k2.begin(), k2.end());
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EXPECT_EQ(EVP_EncryptInit_ex(ctx, XtsCipher(k1.size()), nullptr, key.data(), tweak.data()), 1);
  Bytes out(plain.size());
  int n = 0;
  EXPECT_EQ(EVP_EncryptUpdate(ctx, out.data(), &n, plain.data(), static_cast<int>(plain.size())), 1);
  EVP_CIPHER_CTX_free(ctx);
  return out;
}

// Every stealing length 17 to 31, longer units around the eight-block groups, 4 KiB units;
// 128- and 256-bit keys (OpenSSL has no XTS with 192-bit keys).
TEST_P(XtsTest, DecryptsWhatOpenSslEncrypts) {
  std::mt19937 rng(7);
  std::vector<size_t> lengths;
  for (size_t n = 16; n <= 48; ++n) lengths.push_back(n);
  for (size_t n : {112, 127, 128, 129, 143, 144, 150, 255, 256, 257, 512, 4096, 4111}) lengths.push_back(n);
  for (size_t keyBytes : {16u, 32u}) {
    for (size_t length : lengths) {
      Bytes k1 = RandomBytes(rng, keyBytes), k2 = RandomBytes(rng, keyBytes), tweak = RandomBytes(rng, 16);
      Bytes plain = RandomBytes(rng, length);
      Bytes cipher = OpenSslXtsEncrypt(k1, k2, tweak, plain);
      XtsContext ctx;
      ASSERT_EQ(XtsSetKey(0, k1.data(), static_cast<uint32_t>(keyBytes), k2.data(), &ctx), kXtsOk);
      Bytes out(length);
      ASSERT_EQ(XtsDecrypt(cipher.data(), length, out.data(), tweak.data(), &ctx), kXtsOk);
      EXPECT_EQ(out, plain) << "key " << keyBytes << " length " << length;
      XtsClear(&ctx);
    }
  }
}

// 192-bit keys: the same unit decrypted with one 8-byte-extended key schedule on both paths
// must agree with a block-by-block decryption built from OpenSSL's ECB.
TEST_P(XtsTest, Aes192KeysFollowTheDefinition) {
  std::mt19937 rng(192);
  Bytes k1 = RandomBytes(rng, 24), k2 = RandomBytes(rng, 24), tweak = RandomBytes(rng, 16);
  Bytes cipher = RandomBytes(rng, 16 * 10);
  auto ecb = [](const Bytes& key, const uint8_t* in, uint8_t* out, bool encrypt) {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    EVP_CipherInit_ex(ctx, EVP_aes_192_ecb(), nullptr, key.data(), nullptr, encrypt);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    int n = 0;
    EVP_CipherUpdate(ctx, out, &n, in, 16);
    EVP_CIPHER_CTX_free(ctx);
  };
  uint8_t t[16];
  ecb(k2, tweak.data(), t, true);
  Bytes expected(cipher.size());
  for (size_t b = 0; b < 10; ++b) {
    uint8_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = cipher[16 * b + i] ^ t[i];
    ecb(k1, x, &expected[16 * b], false);
    for (int i = 0; i < 16; ++i) expected[16 * b + i] ^= t[i];
    int carry = t[15] >> 7;
    for (int i = 15; i > 0; --i) t[i] = static_cast<uint8_t>((t[i] << 1) | (t[i - 1] >> 7));
    t[0] = static_cast<uint8_t>((t[0] << 1) ^ (carry ? 0x87 : 0));
  }
  XtsContext ctx;
  ASSERT_EQ(XtsSetKey(0, k1.data(), 24, k2.data(), &ctx), kXtsOk);
  Bytes out(cipher.size());
  ASSERT_EQ(XtsDecrypt(cipher.data(), cipher.size(), out.data(), tweak.data(), &ctx), kXtsOk);
  EXPECT_EQ(out, expected);
}

TEST_P(XtsTest, StatusValues) {
  uint8_t key[32] = {1}, tweak[16] = {}, data[32] = {};
  XtsContext ctx;
  EXPECT_EQ(XtsSetKey(0, nullptr, 16, key, &ctx), 16);
  EXPECT_EQ(XtsSetKey(0, key, 16, nullptr, &ctx), 16);
  EXPECT_EQ(XtsSetKey(0, key, 16, key, nullptr), 16);
  EXPECT_EQ(XtsSetKey(0, key, 128, key, &ctx), 3);
  EXPECT_EQ(XtsSetKey(0, key, 20, key, &ctx), 3);
  ASSERT_EQ(XtsSetKey(0, key, 32, key, &ctx), 0);
  EXPECT_EQ(XtsDecrypt(nullptr, 32, data, tweak, &ctx), 1);
  EXPECT_EQ(XtsDecrypt(data, 32, nullptr, tweak, &ctx), 1);
  EXPECT_EQ(XtsDecrypt(data, 32, data, nullptr, &ctx), 1);
  EXPECT_EQ(XtsDecrypt(data, 32, data, tweak, nullptr), 1);
  EXPECT_EQ(XtsDecrypt(data, 15, data, tweak, &ctx), 16);
  EXPECT_EQ(XtsDecrypt(data, 0, data, tweak, &ctx), 16);
  XtsClear(&ctx);
  EXPECT_EQ(XtsDecrypt(data, 32, data, tweak, &ctx), 3);
}

TEST(XtsClear, ZeroFillsTheWholeContext) {
  TestFirmware fw;
  uint8_t key[16] = {9, 8, 7};
  XtsContext ctx;
  ASSERT_EQ(XtsSetKey(0xFFFFFFFF, key, 16, key, &ctx), 0);
  XtsClear(&ctx);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&ctx);
  EXPECT_EQ(std::count(p, p + sizeof(ctx), 0), static_cast<long>(sizeof(ctx)));
  XtsClear(nullptr);  // harmless
}

}  // namespace
