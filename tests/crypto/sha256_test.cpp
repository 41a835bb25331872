#include <openssl/sha.h>

#include "crypto_test_support.h"
#include "crypto/sha256.h"

namespace {

class Sha256Test : public CryptoPathTest {
 protected:
  void SetUp() override {
    CryptoPathTest::SetUp();
    if (HostLacks(CryptoFeatures().sha && CryptoFeatures().sse41 && CryptoFeatures().ssse3)) {
      GTEST_SKIP() << "host processor has no SHA extensions";
    }
  }
  std::string OneShot(const Bytes& data) {
    uint8_t digest[32];
    EXPECT_EQ(Sha256(data.data(), data.size(), digest), digest);
    return ToHex(digest, 32);
  }
};
CRYPTO_PATHS(Sha256Test);

// FIPS 180-4 examples and the NIST long-message test.
TEST_P(Sha256Test, NistVectors) {
  EXPECT_EQ(OneShot(Text("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(OneShot(Text("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(OneShot(Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(OneShot(Text("abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu")),
            "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1");
  EXPECT_EQ(OneShot(Bytes(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST_P(Sha256Test, IncrementalUpdatesMatchOpenSsl) {
  std::mt19937 rng(256);
  for (int round = 0; round < 40; ++round) {
    Bytes data = RandomBytes(rng, rng() % 1000);
    uint8_t expected[32];
    SHA256(data.data(), data.size(), expected);
    Sha256Context ctx;
    Sha256Init(&ctx);
    size_t at = 0;
    while (at < data.size()) {
      size_t piece = std::min<size_t>(data.size() - at, rng() % 130);
      Sha256Update(&ctx, data.data() + at, static_cast<uint32_t>(piece));
      at += piece;
    }
    uint8_t digest[32];
    Sha256Final(digest, &ctx);
    EXPECT_EQ(ToHex(digest, 32), ToHex(expected, 32)) << "length " << data.size();
    const uint8_t* p = reinterpret_cast<const uint8_t*>(&ctx);
    EXPECT_TRUE(std::all_of(p, p + sizeof(ctx), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(OneShot(data), ToHex(expected, 32));
  }
}

TEST(Sha256, MissingDigestGivesNull) {
  TestFirmware fw;
  EXPECT_EQ(Sha256("abc", 3, nullptr), nullptr);
}

}  // namespace
