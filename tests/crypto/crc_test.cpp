#include <zlib.h>

#include "crypto_test_support.h"
#include "crypto/crc32.h"

namespace {

class CrcTest : public CryptoPathTest {
 protected:
  void SetUp() override {
    CryptoPathTest::SetUp();
    if (HostLacks(CryptoUseClmulCrc(CryptoFeatures()))) GTEST_SKIP() << "host processor has no PCLMULQDQ";
  }
};
CRYPTO_PATHS(CrcTest);

uint32_t BitwiseCrc32c(uint32_t crc, const Bytes& data) {
  for (uint8_t b : data) {
    crc ^= b;
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? (crc >> 1) ^ 0x82F63B78u : crc >> 1;
  }
  return crc;
}

TEST_P(CrcTest, CheckValues) {
  const char* check = "123456789";
  EXPECT_EQ(Crc32(0, check, 9), 0xCBF43926u);
  uint32_t reg = 0xFFFFFFFF;
  Crc32cUpdate(&reg, check, 9);
  EXPECT_EQ(~reg, 0xE3069283u);
  EXPECT_EQ(Crc32(0x12345678, check, 0), 0x12345678u);
  EXPECT_EQ(Crc32(0x12345678, nullptr, 5), 0x12345678u);
}

TEST_P(CrcTest, Crc32MatchesZlibForEveryLengthAndAlignment) {
  std::mt19937 rng(32);
  Bytes data = RandomBytes(rng, 4096 + 64);
  for (size_t length = 0; length <= 600; ++length) {
    size_t offset = length % 13;
    uint32_t start = static_cast<uint32_t>(rng());
    uint32_t expected = static_cast<uint32_t>(crc32(start, data.data() + offset, static_cast<uInt>(length)));
    ASSERT_EQ(Crc32(start, data.data() + offset, length), expected) << "length " << length;
  }
  uint32_t whole = Crc32(0, data.data(), data.size());
  EXPECT_EQ(whole, static_cast<uint32_t>(crc32(0, data.data(), static_cast<uInt>(data.size()))));
  EXPECT_EQ(Crc32(Crc32(0, data.data(), 1000), data.data() + 1000, data.size() - 1000), whole);
}

TEST_P(CrcTest, Crc32cMatchesABitwiseRegister) {
  std::mt19937 rng(0x82F63B78);
  for (size_t length = 0; length < 100; length += 1 + rng() % 5) {
    Bytes data = RandomBytes(rng, length);
    uint32_t start = static_cast<uint32_t>(rng());
    uint32_t reg = start;
    Crc32cUpdate(&reg, data.data(), data.size());
    EXPECT_EQ(reg, BitwiseCrc32c(start, data)) << length;
  }
}

}  // namespace
