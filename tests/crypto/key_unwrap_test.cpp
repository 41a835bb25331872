#include <openssl/aes.h>

// The low-level block cipher call keeps the reference wrap short.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

#include "crypto_test_support.h"
#include "crypto/key_unwrap.h"

namespace {

class KeyUnwrapTest : public CryptoPathTest {
 protected:
  void SetUp() override {
    CryptoPathTest::SetUp();
    if (HostLacks(CryptoFeatures().aes)) GTEST_SKIP() << "host processor has no AES instructions";
  }
};
CRYPTO_PATHS(KeyUnwrapTest);

// RFC 3394 wrapping written out from the standard (n >= 1), on OpenSSL's block cipher.
Bytes Wrap(const Bytes& kek, const Bytes& iv, const Bytes& plain) {
  AES_KEY key;
  AES_set_encrypt_key(kek.data(), 128, &key);
  size_t n = plain.size() / 8;
  Bytes a = iv, r = plain;
  for (uint64_t j = 0; j <= 5; ++j) {
    for (size_t i = 1; i <= n; ++i) {
      uint8_t b[16];
      std::copy(a.begin(), a.end(), b);
      std::copy(r.begin() + 8 * (i - 1), r.begin() + 8 * i, b + 8);
      AES_encrypt(b, b, &key);
      uint64_t t = n * j + i;
      for (int k = 0; k < 8; ++k) b[7 - k] ^= static_cast<uint8_t>(t >> (8 * k));
      std::copy(b, b + 8, a.begin());
      std::copy(b + 8, b + 16, r.begin() + 8 * (i - 1));
    }
  }
  a.insert(a.end(), r.begin(), r.end());
  return a;
}

const Bytes kDefaultIv(kAesKeyWrapDefaultIv, kAesKeyWrapDefaultIv + 8);

TEST_P(KeyUnwrapTest, Rfc3394Section41) {
  Bytes kek = Hex("000102030405060708090A0B0C0D0E0F");
  Bytes wrapped = Hex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5");
  Bytes out(16);
  size_t length = out.size();
  ASSERT_EQ(AesKeyUnwrap(kek.data(), 16, kAesKeyWrapDefaultIv, wrapped.data(), wrapped.size(), out.data(), &length), 0);
  EXPECT_EQ(length, 16u);
  EXPECT_EQ(ToHex(out), "00112233445566778899aabbccddeeff");
  EXPECT_EQ(Wrap(kek, kDefaultIv, out), wrapped);  // the test's wrap agrees with the document
}

TEST_P(KeyUnwrapTest, UnwrapsEveryAcceptedSizeWithAnyInitialValue) {
  std::mt19937 rng(3394);
  for (size_t n = 1; n <= 4; ++n) {
    for (int round = 0; round < 5; ++round) {
      Bytes kek = RandomBytes(rng, 16), plain = RandomBytes(rng, 8 * n);
      Bytes iv = round ? RandomBytes(rng, 8) : kDefaultIv;
      Bytes wrapped = Wrap(kek, iv, plain);
      Bytes out(40, 0xEE);
      size_t length = out.size();
      ASSERT_EQ(AesKeyUnwrap(kek.data(), 16, iv.data(), wrapped.data(), wrapped.size(), out.data(), &length), 0);
      ASSERT_EQ(length, 8 * n);
      EXPECT_EQ(Bytes(out.begin(), out.begin() + length), plain);
    }
  }
}

TEST_P(KeyUnwrapTest, RefusesAndLeavesTheOutputAlone) {
  Bytes kek = Hex("000102030405060708090A0B0C0D0E0F");
  Bytes wrapped = Hex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5");
  Bytes untouched(48, 0xEE);
  auto unwrap = [&](const Bytes& k, const uint8_t* iv, const Bytes& w, size_t room) {
    Bytes out = untouched;
    size_t length = room;
    int status = AesKeyUnwrap(k.data(), k.size(), iv, w.data(), w.size(), out.data(), &length);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(length, room);
    return status;
  };
  for (size_t byte = 0; byte < wrapped.size(); ++byte) {
    Bytes changed = wrapped;
    changed[byte] ^= 0x01;
    EXPECT_EQ(unwrap(kek, kAesKeyWrapDefaultIv, changed, 16), -1) << "byte " << byte;
  }
  Bytes kek256 = Hex("000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F");
  EXPECT_EQ(unwrap(kek256, kAesKeyWrapDefaultIv, Hex("64E8C3F9CE0F5BA263E9777905818A2A93C8191E7D6E8AE7"), 16), -1);
  std::mt19937 rng(48);
  EXPECT_EQ(unwrap(kek, kAesKeyWrapDefaultIv, Wrap(kek, kDefaultIv, RandomBytes(rng, 40)), 48), -1);
  EXPECT_EQ(unwrap(kek, kAesKeyWrapDefaultIv, Bytes(wrapped.begin(), wrapped.end() - 1), 16), -1);
  EXPECT_EQ(unwrap(kek, kAesKeyWrapDefaultIv, Bytes(wrapped.begin(), wrapped.begin() + 8), 16), -1);
  EXPECT_EQ(unwrap(kek, kAesKeyWrapDefaultIv, wrapped, 15), -1);
  uint8_t otherIv[8] = {0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA6, 0xA7};
  EXPECT_EQ(unwrap(kek, otherIv, wrapped, 16), -1);
  size_t length = 16;
  uint8_t out[16];
  EXPECT_EQ(AesKeyUnwrap(nullptr, 16, kAesKeyWrapDefaultIv, wrapped.data(), 24, out, &length), -1);
  EXPECT_EQ(AesKeyUnwrap(kek.data(), 16, nullptr, wrapped.data(), 24, out, &length), -1);
  EXPECT_EQ(AesKeyUnwrap(kek.data(), 16, kAesKeyWrapDefaultIv, wrapped.data(), 24, out, nullptr), -1);
}

}  // namespace
