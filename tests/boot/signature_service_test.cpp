#include <gtest/gtest.h>

#include <openssl/sha.h>

#include <cstring>
#include <string>

#include "efi/protocols/tarn_signature.h"
#include "platform/settings_parser.h"
#include "platform/signature_service.h"
#include "testfw/test_firmware.h"
#include "tests/boot/signing.h"

namespace {

std::vector<uint8_t> Digest(const std::string& text) {
  std::vector<uint8_t> d(32);
  SHA256(reinterpret_cast<const uint8_t*>(text.data()), text.size(), d.data());
  return d;
}

TEST(Rsa2048Verify, AgreesWithOpenSsl) {
  std::vector<uint8_t> modulus = RsaModulus(TrustedKey());
  for (const char* text : {"", "chunk list", "another digest"}) {
    std::vector<uint8_t> digest = Digest(text);
    std::vector<uint8_t> signature = SignDigest(TrustedKey(), digest);
    ASSERT_EQ(signature.size(), 256u);
    EXPECT_TRUE(Rsa2048Sha256Verify(modulus.data(), digest.data(), signature.data())) << text;
    std::vector<uint8_t> other_digest = Digest(std::string(text) + "x");
    EXPECT_FALSE(Rsa2048Sha256Verify(modulus.data(), other_digest.data(), signature.data())) << text;
    std::vector<uint8_t> bent = signature;
    bent[100] ^= 4;
    EXPECT_FALSE(Rsa2048Sha256Verify(modulus.data(), digest.data(), bent.data())) << text;
    std::vector<uint8_t> foreign = SignDigest(OtherKey(), digest);
    EXPECT_FALSE(Rsa2048Sha256Verify(modulus.data(), digest.data(), foreign.data())) << text;
  }
}

TEST(Rsa2048Verify, RefusesSignaturesNotBelowTheModulus) {
  std::vector<uint8_t> modulus = RsaModulus(TrustedKey());
  std::vector<uint8_t> digest = Digest("x");
  std::vector<uint8_t> signature = SignDigest(TrustedKey(), digest);
  // s + n has the same value modulo n; a sound check refuses it rather than reducing it.
  std::vector<uint8_t> all_ones(256, 0xFF);
  EXPECT_FALSE(Rsa2048Sha256Verify(modulus.data(), digest.data(), all_ones.data()));
  EXPECT_FALSE(Rsa2048Sha256Verify(modulus.data(), digest.data(), modulus.data()));
}

TEST(SignatureService, AnswersThroughTheProtocolForTheKeysItWasGiven) {
  TestFirmware fw;
  std::vector<uint8_t> digest = Digest("y");
  std::vector<uint8_t> good = SignDigest(TrustedKey(), digest);
  EXPECT_EQ(InstallSignatureService(), EFI_NOT_STARTED);  // no key, no service
  std::vector<uint8_t> other = RsaModulus(OtherKey());
  ASSERT_EQ(SignatureServiceAddKey("other", 5, other.data(), other.size()), EFI_SUCCESS);
  InstallTrustedSignatureService();
  TarnSignatureProtocol* service = nullptr;
  ASSERT_EQ(gBS->LocateProtocol(&kTarnSignatureProtocolGuid, nullptr, reinterpret_cast<void**>(&service)),
            EFI_SUCCESS);
  EXPECT_EQ(service->VerifySignature(service, &kEfiCertTypeRsa2048Sha256Guid, digest.data(), 32, good.data(), 256),
            EFI_SUCCESS);
  EXPECT_EQ(service->VerifySignature(service, &kEfiCertTypeRsa2048Sha256Guid, digest.data(), 31, good.data(), 256),
            EFI_UNSUPPORTED);
  EXPECT_EQ(service->VerifySignature(service, &kEfiGlobalVariableGuid, digest.data(), 32, good.data(), 256),
            EFI_UNSUPPORTED);
  good[0] ^= 1;
  EXPECT_EQ(service->VerifySignature(service, &kEfiCertTypeRsa2048Sha256Guid, digest.data(), 32, good.data(), 256),
            EFI_SECURITY_VIOLATION);
}

TEST(SignatureService, RefusesModuliThatAreNotRsa2048) {
  TestFirmware fw;
  std::vector<uint8_t> modulus = RsaModulus(TrustedKey());
  std::vector<uint8_t> even = modulus;
  even[255] &= 0xFE;
  EXPECT_EQ(SignatureServiceAddKey("e", 1, even.data(), 256), EFI_INVALID_PARAMETER);
  std::vector<uint8_t> short_top = modulus;
  short_top[0] = 0x7F;
  EXPECT_EQ(SignatureServiceAddKey("s", 1, short_top.data(), 256), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SignatureServiceAddKey("l", 1, modulus.data(), 255), EFI_INVALID_PARAMETER);
  for (size_t i = 0; i < kSignatureServiceMaxKeys; ++i) {
    EXPECT_EQ(SignatureServiceAddKey("k", 1, modulus.data(), 256), EFI_SUCCESS);
  }
  EXPECT_EQ(SignatureServiceAddKey("k", 1, modulus.data(), 256), EFI_OUT_OF_RESOURCES);
}

struct KeyLines {
  std::vector<std::string> names;
  std::vector<size_t> sizes;
  std::vector<std::string> malformed;
};

TEST(SettingsSigningKey, LinesGiveNameAndModulus) {
  std::string hex;
  for (uint8_t b : RsaModulus(TrustedKey())) {
    char two[3];
    snprintf(two, sizeof(two), "%02x", b);
    hex += two;
  }
  std::string text = "signing-key test-key " + hex + "  # the scenario key\n" +
                     "signing-key odd abc\n"
                     "signing-key \"quoted\" 00\n"
                     "signing-key lonely\n";
  std::vector<uint8_t> scratch(SettingsScratchSize(text.size()));
  KeyLines lines;
  SettingsSink sink{&lines, nullptr, nullptr,
                    [](void* c, size_t line, const char* reason) {
                      static_cast<KeyLines*>(c)->malformed.push_back(std::to_string(line) + ": " + reason);
                    },
                    nullptr,
                    [](void* c, const SettingsSigningKey& key) {
                      static_cast<KeyLines*>(c)->names.emplace_back(key.name, key.name_length);
                      static_cast<KeyLines*>(c)->sizes.push_back(key.modulus_size);
                    }};
  EXPECT_EQ(ParsePlatformSettings(ByteSpan(text.data(), text.size()), SettingsScratch{scratch.data(), scratch.size()},
                                  sink),
            3u);
  ASSERT_EQ(lines.names.size(), 1u);
  EXPECT_EQ(lines.names[0], "test-key");
  EXPECT_EQ(lines.sizes[0], 256u);
  ASSERT_EQ(lines.malformed.size(), 3u);
  EXPECT_EQ(lines.malformed[0], "2: hex: value has an odd number of digits");
  EXPECT_EQ(lines.malformed[2], "4: signing-key needs a hexadecimal modulus");
}

}  // namespace
