#include <openssl/evp.h>

#include "crypto_test_support.h"
#include "crypto/md5.h"

namespace {

std::string Md5Hex(const Bytes& data, size_t split) {
  Md5Context ctx;
  Md5Init(&ctx);
  Md5Update(&ctx, data.data(), static_cast<uint32_t>(split));
  Md5Update(&ctx, data.data() + split, static_cast<uint32_t>(data.size() - split));
  uint8_t digest[16];
  Md5Final(digest, &ctx);
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&ctx);
  EXPECT_TRUE(std::all_of(p, p + sizeof(ctx), [](uint8_t b) { return b == 0; }));
  return ToHex(digest, 16);
}

// RFC 1321 appendix A.5.
TEST(Md5, Rfc1321Suite) {
  TestFirmware fw;
  struct {
    const char* text;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    Bytes data = Text(c.text);
    EXPECT_EQ(Md5Hex(data, data.size() / 3), c.digest) << c.text;
  }
}

TEST(Md5, MatchesOpenSslAcrossBlockBoundaries) {
  TestFirmware fw;
  std::mt19937 rng(1321);
  for (size_t length = 0; length < 300; length += 1 + rng() % 7) {
    Bytes data = RandomBytes(rng, length);
    uint8_t expected[16];
    EVP_Digest(data.data(), data.size(), expected, nullptr, EVP_md5(), nullptr);
    EXPECT_EQ(Md5Hex(data, length ? rng() % length : 0), ToHex(expected, 16)) << length;
  }
}

}  // namespace
