// Secrets must not outlive the routines that handle them: PBKDF2 and the key unwrap leave
// nothing of the password or the key-encryption key on the stack, and an XTS context
// wiped with XtsClear holds nothing when its pool block is freed.
#include <openssl/evp.h>
#include <openssl/sha.h>

#include "crypto_test_support.h"
#include "crypto/key_unwrap.h"
#include "crypto/pbkdf2.h"
#include "crypto/xts.h"
#include "memory/memory.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"  // SHA256_CTX exposes the chaining words

namespace {

constexpr size_t kStackDepth = 32 * 1024;

// Zero-fills the stack below the caller, so only what later calls leave there is found.
__attribute__((noinline, no_sanitize("address"))) void ClearStackBelow() {
  [[maybe_unused]] volatile uint8_t area[kStackDepth];
  for (size_t i = 0; i < kStackDepth; ++i) area[i] = 0;
}

// Counts places below the caller's frame holding any of the 32-bit words (any alignment).
// Reads only through raw pointers: a call from here would write over the area being read.
__attribute__((noinline, no_sanitize("address"))) size_t CountStackHits(const uint32_t* words, size_t count) {
  volatile uint8_t marker = 0;
  const uint8_t* top = const_cast<const uint8_t*>(&marker);
  const uint8_t* bottom = top - kStackDepth;
  size_t hits = 0;
  for (const uint8_t* p = bottom; p + 4 <= top; ++p) {
    uint32_t v = uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
    for (size_t i = 0; i < count; ++i) hits += v == words[i];
  }
  return hits;
}

// A routine that forgets to wipe: shows the scan finds what is left behind. The copy lies
// at the bottom of a larger frame, below where the scanner's own frame will go.
__attribute__((noinline)) void LeaveOnStack(const uint8_t* secret) {
  [[maybe_unused]] volatile uint8_t frame[512];
  for (int i = 0; i < 32; ++i) frame[i] = secret[i];
}

// The words of a secret as they may lie in memory: little- and big-endian loads.
void AddWords(std::vector<uint32_t>& words, const uint8_t* p, size_t n) {
  for (size_t i = 0; i + 4 <= n; i += 4) {
    words.push_back(uint32_t(p[i]) | (uint32_t(p[i + 1]) << 8) | (uint32_t(p[i + 2]) << 16) | (uint32_t(p[i + 3]) << 24));
    words.push_back(uint32_t(p[i + 3]) | (uint32_t(p[i + 2]) << 8) | (uint32_t(p[i + 1]) << 16) | (uint32_t(p[i]) << 24));
  }
}

class WipingTest : public CryptoPathTest {};
CRYPTO_PATHS(WipingTest);

TEST_P(WipingTest, TheStackScanFindsALeftOverSecret) {
  std::mt19937 rng(1);
  Bytes secret = RandomBytes(rng, 32);
  std::vector<uint32_t> words;
  AddWords(words, secret.data(), secret.size());
  ClearStackBelow();
  LeaveOnStack(secret.data());
  EXPECT_GT(CountStackHits(words.data(), words.size()), 0u);
}

// The chaining words after a pad block of the password, from OpenSSL's context.
void AddPadState(std::vector<uint32_t>& words, const Bytes& password, uint8_t pad) {
  uint8_t block[64] = {};
  std::copy(password.begin(), password.end(), block);
  for (auto& b : block) b ^= pad;
  SHA256_CTX ctx;
  SHA256_Init(&ctx);
  SHA256_Update(&ctx, block, 64);
  words.insert(words.end(), ctx.h, ctx.h + 8);
  AddWords(words, block, 16);
}

Bytes OpenSslPbkdf2(const Bytes& password, const Bytes& salt, int iterations) {
  Bytes out(32);
  PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(password.data()), static_cast<int>(password.size()), salt.data(),
                    static_cast<int>(salt.size()), iterations, EVP_sha256(), 32, out.data());
  return out;
}

TEST_P(WipingTest, Pbkdf2LeavesNothingOnTheStack) {
  std::mt19937 rng(2);
  Bytes password = RandomBytes(rng, 16), salt = RandomBytes(rng, 16);
  const int iterations = 5;
  // Secrets: both pad states, the derived key (the sum of all U) and the last two U.
  Bytes t5 = OpenSslPbkdf2(password, salt, 5), t4 = OpenSslPbkdf2(password, salt, 4), t3 = OpenSslPbkdf2(password, salt, 3);
  Bytes u5(32), u4(32);
  for (int i = 0; i < 32; ++i) {
    u5[i] = t5[i] ^ t4[i];
    u4[i] = t4[i] ^ t3[i];
  }
  std::vector<uint32_t> words;
  AddPadState(words, password, 0x36);
  AddPadState(words, password, 0x5C);
  AddWords(words, password.data(), password.size());
  AddWords(words, t5.data(), 32);
  AddWords(words, u5.data(), 32);
  AddWords(words, u4.data(), 32);

  std::vector<uint8_t> derived(32);
  ClearStackBelow();
  ASSERT_EQ(Pbkdf2(kPbkdf2KindHmac, password.data(), password.size(), salt.data(), salt.size(), kPbkdf2PrfHmacSha256,
                   iterations, derived.data(), derived.size()),
            0);
  EXPECT_EQ(CountStackHits(words.data(), words.size()), 0u);
  EXPECT_EQ(derived, t5);
}

TEST_P(WipingTest, KeyUnwrapLeavesNothingOnTheStack) {
  if (HostLacks(CryptoFeatures().aes)) GTEST_SKIP() << "host processor has no AES instructions";
  Bytes kek = Hex("000102030405060708090A0B0C0D0E0F");
  Bytes wrapped = Hex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5");
  auto schedule = std::make_unique<AesSchedule>();
  ASSERT_EQ(AesDecryptKey(kek.data(), 16, schedule.get()), 0);
  std::vector<uint32_t> words;
  AddWords(words, kek.data(), 16);
  AddWords(words, schedule->roundKeys + 16, 16 * 10);
  Bytes plain = Hex("00112233445566778899AABBCCDDEEFF");
  AddWords(words, plain.data(), plain.size());
  for (bool damaged : {false, true}) {
    Bytes input = wrapped;
    if (damaged) input[20] ^= 0x40;
    Bytes out(16);
    size_t length = out.size();
    ClearStackBelow();
    int status = AesKeyUnwrap(kek.data(), 16, kAesKeyWrapDefaultIv, input.data(), input.size(), out.data(), &length);
    EXPECT_EQ(CountStackHits(words.data(), words.size()), 0u) << "damaged " << damaged;
    EXPECT_EQ(status, damaged ? -1 : 0);
  }
}

TEST_P(WipingTest, ClearedXtsContextLeavesNothingInPool) {
  if (HostLacks(CryptoFeatures().aes)) GTEST_SKIP() << "host processor has no AES instructions";
  std::mt19937 rng(3);
  for (bool clear : {true, false}) {
    Bytes dataKey = RandomBytes(rng, 32), tweakKey = RandomBytes(rng, 32), tweak(16, 0);
    auto* ctx = static_cast<XtsContext*>(PoolAllocate(sizeof(XtsContext)));
    ASSERT_NE(ctx, nullptr);
    ASSERT_EQ(XtsSetKey(0, dataKey.data(), 32, tweakKey.data(), ctx), 0);
    // Watch a round key from the middle of every schedule.
    fw_.WatchSecret(Bytes(ctx->dataKey.decrypt.roundKeys + 80, ctx->dataKey.decrypt.roundKeys + 96));
    fw_.WatchSecret(Bytes(ctx->dataKey.encrypt.roundKeys + 80, ctx->dataKey.encrypt.roundKeys + 96));
    fw_.WatchSecret(Bytes(ctx->tweakKey.encrypt.roundKeys + 80, ctx->tweakKey.encrypt.roundKeys + 96));
    Bytes unit = RandomBytes(rng, 4096);
    ASSERT_EQ(XtsDecrypt(unit.data(), unit.size(), unit.data(), tweak.data(), ctx), 0);
    if (clear) XtsClear(ctx);
    int leakedBefore = fw_.SecretsLeaked();
    PoolFree(ctx);
    EXPECT_EQ(fw_.SecretsLeaked() > leakedBefore, !clear) << "cleared " << clear;
  }
}

}  // namespace
