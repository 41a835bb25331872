// The cryptographic primitives against OpenSSL and zlib: bulk AES (XTS units and CBC runs),
// SHA-256, PBKDF2, CRC-32 and MD5. The instruction paths are what the ratios compare; the
// portable paths are measured alongside for reference.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "bench/ratio.h"
#include "crypto/aes.h"
#include "crypto/crc32.h"
#include "crypto/md5.h"
#include "crypto/pbkdf2.h"
#include "crypto/processor_features.h"
#include "crypto/sha256.h"
#include "crypto/xts.h"
#include "hw/fake/hw_fake.h"

namespace {

constexpr size_t kMiB = 1 << 20;
constexpr size_t kXtsUnit = 4096;
constexpr int kShaRepeats = 64;  // 64 MiB hashed from a 1 MiB buffer
constexpr uint32_t kPbkdf2Iterations = 20000;

std::vector<uint8_t> RandomBuffer(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// Chooses the path for the benchmarks that follow.
void UsePath(bool instructions) {
  HwFakeReset();
  if (!instructions) {
    HwFakeSetAesInstructions(false);
    HwFakeSetShaInstructions(false);
    HwFakeSetCpuidBits(1, 0, HwReg::kEcx, hw::kLeaf1EcxPclmul, false);
  }
  CryptoRecordProcessorFeatures();
}

// --- XTS: 1 MiB as 4 KiB data units, each with its own tweak -------------------------------
void XtsHearth(benchmark::State& state, bool instructions) {
  UsePath(instructions);
  auto key = RandomBuffer(32, 1);
  auto data = RandomBuffer(kMiB, 2);
  std::vector<uint8_t> out(kMiB);
  XtsContext ctx;
  XtsSetKey(0, key.data(), 16, key.data() + 16, &ctx);
  for (auto _ : state) {
    uint8_t tweak[16] = {};
    for (size_t unit = 0; unit < kMiB / kXtsUnit; ++unit) {
      tweak[0] = static_cast<uint8_t>(unit);
      tweak[1] = static_cast<uint8_t>(unit >> 8);
      XtsDecrypt(data.data() + unit * kXtsUnit, kXtsUnit, out.data() + unit * kXtsUnit, tweak, &ctx);
    }
    benchmark::DoNotOptimize(out.data());
  }
  XtsClear(&ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
void BM_Crypto_XtsDecrypt4K_Hearth(benchmark::State& state) { XtsHearth(state, true); }
void BM_Crypto_XtsDecrypt4K_HearthPortable(benchmark::State& state) { XtsHearth(state, false); }

void BM_Crypto_XtsDecrypt4K_OpenSsl(benchmark::State& state) {
  auto key = RandomBuffer(32, 1);
  auto data = RandomBuffer(kMiB, 2);
  std::vector<uint8_t> out(kMiB);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_DecryptInit_ex(ctx, EVP_aes_128_xts(), nullptr, key.data(), nullptr);
  for (auto _ : state) {
    uint8_t tweak[16] = {};
    for (size_t unit = 0; unit < kMiB / kXtsUnit; ++unit) {
      tweak[0] = static_cast<uint8_t>(unit);
      tweak[1] = static_cast<uint8_t>(unit >> 8);
      int n = 0;
      EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, tweak);
      EVP_DecryptUpdate(ctx, out.data() + unit * kXtsUnit, &n, data.data() + unit * kXtsUnit, kXtsUnit);
    }
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
BENCHMARK(BM_Crypto_XtsDecrypt4K_Hearth);
BENCHMARK(BM_Crypto_XtsDecrypt4K_HearthPortable);
BENCHMARK(BM_Crypto_XtsDecrypt4K_OpenSsl);
HEARTH_BENCH_RATIO(xts_ratio, "crypto_xts_decrypt_4k", "BM_Crypto_XtsDecrypt4K_Hearth", "BM_Crypto_XtsDecrypt4K_OpenSsl");

// --- CBC: one 1 MiB run ---------------------------------------------------------------
void CbcHearth(benchmark::State& state, bool instructions) {
  UsePath(instructions);
  auto key = RandomBuffer(16, 3);
  auto iv = RandomBuffer(16, 4);
  auto data = RandomBuffer(kMiB, 5);
  std::vector<uint8_t> out(kMiB);
  AesSchedule schedule;
  AesDecryptKey(key.data(), 16, &schedule);
  for (auto _ : state) {
    AesCbcDecrypt(data.data(), iv.data(), kMiB / 16, out.data(), &schedule);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
void BM_Crypto_CbcDecrypt1M_Hearth(benchmark::State& state) { CbcHearth(state, true); }
void BM_Crypto_CbcDecrypt1M_HearthPortable(benchmark::State& state) { CbcHearth(state, false); }

void BM_Crypto_CbcDecrypt1M_OpenSsl(benchmark::State& state) {
  auto key = RandomBuffer(16, 3);
  auto iv = RandomBuffer(16, 4);
  auto data = RandomBuffer(kMiB, 5);
  std::vector<uint8_t> out(kMiB);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key.data(), iv.data());
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  for (auto _ : state) {
    int n = 0;
    EVP_DecryptInit_ex(ctx, nullptr, nullptr, nullptr, iv.data());
    EVP_DecryptUpdate(ctx, out.data(), &n, data.data(), kMiB);
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
BENCHMARK(BM_Crypto_CbcDecrypt1M_Hearth);
BENCHMARK(BM_Crypto_CbcDecrypt1M_HearthPortable);
BENCHMARK(BM_Crypto_CbcDecrypt1M_OpenSsl);
HEARTH_BENCH_RATIO(cbc_ratio, "crypto_cbc_decrypt_1m", "BM_Crypto_CbcDecrypt1M_Hearth", "BM_Crypto_CbcDecrypt1M_OpenSsl");

// --- SHA-256 over 64 MiB ------------------------------------------------------------------
void ShaHearth(benchmark::State& state, bool instructions) {
  UsePath(instructions);
  auto data = RandomBuffer(kMiB, 6);
  uint8_t digest[32];
  for (auto _ : state) {
    Sha256Context ctx;
    Sha256Init(&ctx);
    for (int i = 0; i < kShaRepeats; ++i) Sha256Update(&ctx, data.data(), kMiB);
    Sha256Final(digest, &ctx);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kShaRepeats * kMiB);
}
void BM_Crypto_Sha256_64M_Hearth(benchmark::State& state) { ShaHearth(state, true); }
void BM_Crypto_Sha256_64M_HearthPortable(benchmark::State& state) { ShaHearth(state, false); }

void BM_Crypto_Sha256_64M_OpenSsl(benchmark::State& state) {
  auto data = RandomBuffer(kMiB, 6);
  uint8_t digest[32];
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr);
    for (int i = 0; i < kShaRepeats; ++i) EVP_DigestUpdate(ctx, data.data(), kMiB);
    EVP_DigestFinal_ex(ctx, digest, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * kShaRepeats * kMiB);
}
BENCHMARK(BM_Crypto_Sha256_64M_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crypto_Sha256_64M_HearthPortable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crypto_Sha256_64M_OpenSsl)->Unit(benchmark::kMillisecond);
HEARTH_BENCH_RATIO(sha_ratio, "crypto_sha256_64m", "BM_Crypto_Sha256_64M_Hearth", "BM_Crypto_Sha256_64M_OpenSsl");
HEARTH_BENCH_RATIO(sha_portable_ratio, "crypto_sha256_64m_portable", "BM_Crypto_Sha256_64M_HearthPortable",
                   "BM_Crypto_Sha256_64M_OpenSsl");

// --- PBKDF2-HMAC-SHA-256: one 32-byte key, kPbkdf2Iterations iterations ---------------------
const char kPassword[] = "correct horse battery staple";
const uint8_t kSalt[16] = {0x5a, 0x17, 0x80, 0x01, 0x9c, 0x44, 0x23, 0xee, 0x11, 0x02, 0x73, 0xb8, 0x0f, 0x66, 0xd1, 0x3a};

void Pbkdf2Hearth(benchmark::State& state, bool instructions) {
  UsePath(instructions);
  uint8_t key[32];
  for (auto _ : state) {
    Pbkdf2(kPbkdf2KindHmac, reinterpret_cast<const uint8_t*>(kPassword), sizeof(kPassword) - 1, kSalt,
           sizeof(kSalt), kPbkdf2PrfHmacSha256, kPbkdf2Iterations, key, sizeof(key));
    benchmark::DoNotOptimize(key);
  }
  state.counters["iterations/s"] =
      benchmark::Counter(double(state.iterations()) * kPbkdf2Iterations, benchmark::Counter::kIsRate);
}
void BM_Crypto_Pbkdf2_Hearth(benchmark::State& state) { Pbkdf2Hearth(state, true); }
void BM_Crypto_Pbkdf2_HearthPortable(benchmark::State& state) { Pbkdf2Hearth(state, false); }

void BM_Crypto_Pbkdf2_OpenSsl(benchmark::State& state) {
  uint8_t key[32];
  for (auto _ : state) {
    PKCS5_PBKDF2_HMAC(kPassword, sizeof(kPassword) - 1, kSalt, sizeof(kSalt), kPbkdf2Iterations, EVP_sha256(),
                      sizeof(key), key);
    benchmark::DoNotOptimize(key);
  }
  state.counters["iterations/s"] =
      benchmark::Counter(double(state.iterations()) * kPbkdf2Iterations, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Crypto_Pbkdf2_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crypto_Pbkdf2_HearthPortable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Crypto_Pbkdf2_OpenSsl)->Unit(benchmark::kMillisecond);
HEARTH_BENCH_RATIO(pbkdf2_ratio, "crypto_pbkdf2_sha256", "BM_Crypto_Pbkdf2_Hearth", "BM_Crypto_Pbkdf2_OpenSsl");
HEARTH_BENCH_RATIO(pbkdf2_portable_ratio, "crypto_pbkdf2_sha256_portable", "BM_Crypto_Pbkdf2_HearthPortable",
                   "BM_Crypto_Pbkdf2_OpenSsl");

// --- CRC-32 and MD5 over 1 MiB -------------------------------------------------------------
void Crc32Hearth(benchmark::State& state, bool instructions) {
  UsePath(instructions);
  auto data = RandomBuffer(kMiB, 7);
  for (auto _ : state) benchmark::DoNotOptimize(Crc32(0, data.data(), data.size()));
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
void BM_Crypto_Crc32_1M_Hearth(benchmark::State& state) { Crc32Hearth(state, true); }
void BM_Crypto_Crc32_1M_HearthTables(benchmark::State& state) { Crc32Hearth(state, false); }

void BM_Crypto_Crc32_1M_Zlib(benchmark::State& state) {
  auto data = RandomBuffer(kMiB, 7);
  for (auto _ : state) benchmark::DoNotOptimize(crc32(0, data.data(), static_cast<uInt>(data.size())));
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
BENCHMARK(BM_Crypto_Crc32_1M_Hearth);
BENCHMARK(BM_Crypto_Crc32_1M_HearthTables);
BENCHMARK(BM_Crypto_Crc32_1M_Zlib);
HEARTH_BENCH_RATIO(crc_ratio, "crypto_crc32_1m", "BM_Crypto_Crc32_1M_Hearth", "BM_Crypto_Crc32_1M_Zlib");
HEARTH_BENCH_RATIO(crc_tables_ratio, "crypto_crc32_1m_tables", "BM_Crypto_Crc32_1M_HearthTables",
                   "BM_Crypto_Crc32_1M_Zlib");

void BM_Crypto_Md5_1M_Hearth(benchmark::State& state) {
  auto data = RandomBuffer(kMiB, 8);
  uint8_t digest[16];
  for (auto _ : state) {
    Md5Context ctx;
    Md5Init(&ctx);
    Md5Update(&ctx, data.data(), kMiB);
    Md5Final(digest, &ctx);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}

void BM_Crypto_Md5_1M_OpenSsl(benchmark::State& state) {
  auto data = RandomBuffer(kMiB, 8);
  uint8_t digest[16];
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, EVP_md5(), nullptr);
    EVP_DigestUpdate(ctx, data.data(), kMiB);
    EVP_DigestFinal_ex(ctx, digest, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  state.SetBytesProcessed(int64_t(state.iterations()) * kMiB);
}
BENCHMARK(BM_Crypto_Md5_1M_Hearth);
BENCHMARK(BM_Crypto_Md5_1M_OpenSsl);
HEARTH_BENCH_RATIO(md5_ratio, "crypto_md5_1m", "BM_Crypto_Md5_1M_Hearth", "BM_Crypto_Md5_1M_OpenSsl");

}  // namespace
