// The passphrase check of the encrypted root, what a user waits for after pressing return:
// PBKDF2 at the key file's iteration count, the KEK unwrap and its key check. Hearth runs
// VerifyPassphrase on a user of a key file made by the toolkit; the peer does the same steps
// with OpenSSL on the same structure.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "crypto/processor_features.h"
#include "fde/key_chain.h"
#include "fde/lodestore_load.h"
#include "fde/wrapped_key.h"
#include "hw/fake/hw_fake.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"
#include "tools/lib/wipekey.h"

namespace {

constexpr uint32_t kIterations = 100000;
const char kPassphrase[] = "correct horse battery staple";
const char16_t kPassphrase16[] = u"correct horse battery staple";

wipekey::Output KeyFile() {
  wipekey::Description d;
  std::string error;
  wipekey::ParseDescription("volume size=65536 placement=end\n"
                            "kek name=A ident=A1A1A1A1-0000-4000-8000-00000000000A\n"
                            "user type=panel ident=6A0E6C2B-1F1D-4B6E-9A1C-0D6E8B4F2A11 passphrase=\"" +
                                std::string(kPassphrase) + "\" iterations=" + std::to_string(kIterations) +
                                " kek=A\n"
                                "volume-key ident=C3C3C3C3-1111-4111-8111-111111111111 kek=A\n",
                            &d, &error);
  wipekey::Output out;
  wipekey::Create(d, &out, &error);
  return out;
}

void BM_Fde_PassphraseCheck_Hearth(benchmark::State& state) {
  HwFakeReset();
  CryptoRecordProcessorFeatures();
  TestFirmware fw;
  wipekey::Output out = KeyFile();
  LodestoreConfig& config = Lodestore().config;
  if (EFI_ERROR(ParseKeyFile(out.plist.data(), out.plist.size(), nullptr, &config)) || config.panel_count != 1) {
    state.SkipWithError("key file not built");
    return;
  }
  for (auto _ : state) {
    BOOLEAN ok = VerifyPassphrase(nullptr, config.panel[0], reinterpret_cast<const CHAR16*>(kPassphrase16),
                                  &Lodestore().unlock);
    if (!ok) state.SkipWithError("passphrase refused");
    benchmark::DoNotOptimize(ok);
  }
  LodestoreWipeSecrets();
  LodestoreConfigFree(&config);
}

// The same steps over the same PassphraseWrappedKEKStruct.
bool OpenSslCheck(const std::vector<uint8_t>& wrap) {
  uint32_t salt_length = LoadLe32(&wrap[kPassphraseWrapSaltLengthOffset]);
  uint32_t wrapped_length = LoadLe32(&wrap[kPassphraseWrapWrappedLengthOffset]);
  uint32_t iterations = LoadLe32(&wrap[kPassphraseWrapIterationsOffset]);
  uint8_t derived[16], kek[32];
  PKCS5_PBKDF2_HMAC(kPassphrase, sizeof(kPassphrase) - 1, &wrap[kPassphraseWrapSaltOffset], int(salt_length),
                    int(iterations), EVP_sha256(), sizeof(derived), derived);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CIPHER_CTX_set_flags(ctx, EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
  int length = 0;
  bool ok = EVP_DecryptInit_ex(ctx, EVP_aes_128_wrap(), nullptr, derived, nullptr) == 1 &&
            EVP_DecryptUpdate(ctx, kek, &length, &wrap[kPassphraseWrapWrappedOffset], int(wrapped_length)) == 1;
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) return false;
  const uint8_t* check = &wrap[kPassphraseWrapCheckOffset];
  uint8_t input[32 + 1 + 32 + 31], digest[32];
  std::memcpy(input, check + kKeyCheckValueAOffset, 32);
  input[32] = 0;
  std::memcpy(input + 33, kek, length);
  std::memcpy(input + 33 + length, check + kKeyCheckValueBOffset, 31);
  SHA256(input, 64 + length, digest);
  for (uint32_t i = 1; i < LoadLe32(check + kKeyCheckCountOffset); ++i) SHA256(digest, 32, digest);
  return std::memcmp(digest, check + kKeyCheckDigestOffset, 32) == 0;
}

void BM_Fde_PassphraseCheck_OpenSsl(benchmark::State& state) {
  std::vector<uint8_t> salt = wipekey::DerivedBytes("salt:6A0E6C2B-1F1D-4B6E-9A1C-0D6E8B4F2A11", 16);
  std::vector<uint8_t> wrap =
      wipekey::PassphraseWrappedKek(kPassphrase, salt, kIterations, 3, wipekey::DerivedBytes("kek:A", 16), 1);
  for (auto _ : state) {
    bool ok = OpenSslCheck(wrap);
    if (!ok) state.SkipWithError("passphrase refused");
    benchmark::DoNotOptimize(ok);
  }
}

BENCHMARK(BM_Fde_PassphraseCheck_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Fde_PassphraseCheck_OpenSsl)->Unit(benchmark::kMillisecond);
HEARTH_BENCH_RATIO(fde_passphrase_ratio, "fde_passphrase_check", "BM_Fde_PassphraseCheck_Hearth",
                   "BM_Fde_PassphraseCheck_OpenSsl");

}  // namespace
