#include <openssl/evp.h>

#include "crypto_test_support.h"
#include "crypto/pbkdf2.h"

namespace {

class Pbkdf2Test : public CryptoPathTest {};
CRYPTO_PATHS(Pbkdf2Test);

Bytes Derive(const Bytes& password, const Bytes& salt, uint32_t iterations, size_t length) {
  Bytes out(length, 0xEE);
  EXPECT_EQ(Pbkdf2(kPbkdf2KindHmac, password.data(), password.size(), salt.data(), salt.size(),
                   kPbkdf2PrfHmacSha256, iterations, out.data(), out.size()),
            0);
  return out;
}

Bytes OpenSslDerive(const Bytes& password, const Bytes& salt, uint32_t iterations, size_t length) {
  Bytes out(length);
  PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()), salt.data(),
                    static_cast<int>(salt.size()), static_cast<int>(iterations), EVP_sha256(),
                    static_cast<int>(length), out.data());
  return out;
}

// RFC 7914 section 11.
TEST_P(Pbkdf2Test, Rfc7914Vectors) {
  EXPECT_EQ(ToHex(Derive(Text("passwd"), Text("salt"), 1, 64)),
            "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
            "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
  EXPECT_EQ(ToHex(Derive(Text("Password"), Text("NaCl"), 80000, 64)),
            "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
            "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d");
}

TEST_P(Pbkdf2Test, MatchesOpenSslOnRandomInputs) {
  std::mt19937 rng(8018);
  for (int round = 0; round < 40; ++round) {
    Bytes password = RandomBytes(rng, rng() % 100), salt = RandomBytes(rng, 1 + rng() % 200);
    uint32_t iterations = 1 + rng() % 40;
    size_t length = 1 + rng() % 100;
    EXPECT_EQ(ToHex(Derive(password, salt, iterations, length)), ToHex(OpenSslDerive(password, salt, iterations, length)))
        << "password " << password.size() << " salt " << salt.size() << " iterations " << iterations << " length "
        << length;
  }
}

TEST_P(Pbkdf2Test, RefusedArgumentsLeaveAZeroedKey) {
  uint8_t password[3] = {'p', 'w', 'd'}, salt[4] = {1, 2, 3, 4};
  struct Case {
    uint32_t kind, selector, iterations;
    size_t saltLength;
  } cases[] = {{1, 3, 1, 4}, {3, 3, 1, 4}, {2, 1, 1, 4}, {2, 2, 1, 4}, {2, 4, 1, 4},
               {2, 5, 1, 4}, {2, 0, 1, 4}, {2, 6, 1, 4}, {2, 3, 0, 4}, {2, 3, 1, 0}};
  for (const auto& c : cases) {
    uint8_t out[20];
    memset(out, 0xEE, sizeof(out));
    EXPECT_EQ(Pbkdf2(c.kind, password, 3, salt, c.saltLength, c.selector, c.iterations, out, sizeof(out)), -1);
    EXPECT_TRUE(std::all_of(out, out + sizeof(out), [](uint8_t b) { return b == 0; }));
  }
  uint8_t out[4];
  EXPECT_EQ(Pbkdf2(2, password, 3, salt, 4, 3, 1, out, 0), -1);
  EXPECT_EQ(Pbkdf2(2, password, 3, salt, 4, 3, 1, nullptr, 4), -1);
  EXPECT_EQ(Pbkdf2(2, nullptr, 3, salt, 4, 3, 1, out, 4), -1);
  EXPECT_EQ(Pbkdf2(2, password, 3, nullptr, 4, 3, 1, out, 4), -1);
}

TEST(Pbkdf2Selectors, MapToHashIdsAndSizes) {
  const int ids[] = {-1, 0, 5, 2, 3, 4, -1};
  const uint32_t sizes[] = {0, 20, 28, 32, 48, 64, 0};
  for (uint32_t s = 0; s <= 6; ++s) {
    EXPECT_EQ(Pbkdf2PrfHashId(s), ids[s]) << s;
    EXPECT_EQ(Pbkdf2PrfOutputSize(s), sizes[s]) << s;
  }
}

}  // namespace
