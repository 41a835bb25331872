#include <openssl/hmac.h>

#include "crypto_test_support.h"
#include "crypto/hmac.h"

namespace {

class HmacTest : public CryptoPathTest {};
CRYPTO_PATHS(HmacTest);

struct HmacVector {
  Bytes key;
  Bytes data;
  const char* mac;  // may be a truncation
};

// RFC 4231 test cases 1 to 7.
std::vector<HmacVector> Rfc4231() {
  Bytes key4;
  for (uint8_t i = 1; i <= 25; ++i) key4.push_back(i);
  return {
      {Bytes(20, 0x0b), Text("Hi There"), "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
      {Text("Jefe"), Text("what do ya want for nothing?"),
       "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
      {Bytes(20, 0xaa), Bytes(50, 0xdd), "773ea91e36800e46854db8ebd09181a72959098b3ef8c122d9635514ced565fe"},
      {key4, Bytes(50, 0xcd), "82558a389a443c0ea4cc819899f2083a85f0faa3e578f8077a2e3ff46729665b"},
      {Bytes(20, 0x0c), Text("Test With Truncation"), "a3b6167473100ee06e0c796c2955552b"},
      {Bytes(131, 0xaa), Text("Test Using Larger Than Block-Size Key - Hash Key First"),
       "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
      {Bytes(131, 0xaa),
       Text("This is a test using a larger than block-size key and a larger than block-size data. The key needs to "
            "be hashed before being used by the HMAC algorithm."),
       "9b09ffa71b942fcb27635fbcd5b0e944bfdc63644f0713938a7f51535c3a35e2"},
  };
}

TEST_P(HmacTest, Rfc4231Vectors) {
  for (const auto& v : Rfc4231()) {
    uint8_t mac[32];
    ASSERT_EQ(Hmac(kHmacSha256, v.key.data(), v.key.size(), v.data.data(), v.data.size(), mac), 0);
    std::string expected = v.mac;
    EXPECT_EQ(ToHex(mac, 32).substr(0, expected.size()), expected);
  }
}

TEST_P(HmacTest, IncrementalMatchesOpenSsl) {
  std::mt19937 rng(2104);
  for (int round = 0; round < 30; ++round) {
    Bytes key = RandomBytes(rng, rng() % 150), data = RandomBytes(rng, rng() % 300);
    uint8_t expected[32];
    unsigned int n = 0;
    HMAC(EVP_sha256(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), expected, &n);
    HmacContext ctx;
    ASSERT_EQ(HmacInit(&ctx, kHmacSha256, key.data(), key.size()), 0);
    EXPECT_EQ(ctx.hashSize, 32u);
    EXPECT_EQ(ctx.blockSize, 64u);
    size_t half = data.size() / 2;
    HmacUpdate(&ctx, data.data(), half);
    HmacUpdate(&ctx, data.data() + half, data.size() - half);
    uint8_t mac[32];
    ASSERT_EQ(HmacFinal(&ctx, mac), 0);
    EXPECT_EQ(ToHex(mac, 32), ToHex(expected, 32)) << "key " << key.size() << " data " << data.size();
  }
}

TEST_P(HmacTest, LongKeyIsReplacedByItsDigest) {
  std::mt19937 rng(100);
  Bytes key = RandomBytes(rng, 100), data = Text("message");
  uint8_t digest[32], viaLong[32], viaDigest[32];
  Sha256(key.data(), key.size(), digest);
  ASSERT_EQ(Hmac(kHmacSha256, key.data(), key.size(), data.data(), data.size(), viaLong), 0);
  ASSERT_EQ(Hmac(kHmacSha256, digest, 32, data.data(), data.size(), viaDigest), 0);
  EXPECT_EQ(ToHex(viaLong, 32), ToHex(viaDigest, 32));
}

TEST_P(HmacTest, OnlySha256IsImplemented) {
  uint8_t key[4] = {1, 2, 3, 4}, mac[64];
  HmacContext ctx;
  for (uint32_t id : {0u, 1u, 3u, 4u, 5u, 6u}) {
    EXPECT_EQ(HmacInit(&ctx, id, key, 4), -1) << id;
    EXPECT_EQ(Hmac(id, key, 4, "x", 1, mac), -1) << id;
  }
  EXPECT_EQ(HmacInit(nullptr, kHmacSha256, key, 4), -1);
  EXPECT_EQ(Hmac(kHmacSha256, key, 4, "x", 1, nullptr), -1);
  EXPECT_EQ(Hmac(kHmacSha256, nullptr, 4, "x", 1, mac), -1);
}

}  // namespace
