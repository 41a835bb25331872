// Shared helpers of the crypto tests: hex, random bytes and the two processor paths.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "crypto/processor_features.h"
#include "hw/fake/hw_fake.h"
#include "testfw/test_firmware.h"

using Bytes = std::vector<uint8_t>;

inline Bytes Hex(const std::string& text) {
  Bytes out;
  std::string digits;
  for (char c : text) {
    if (isxdigit(static_cast<unsigned char>(c))) digits += c;
  }
  for (size_t i = 0; i + 1 < digits.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const uint8_t* p, size_t n) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

inline Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes RandomBytes(std::mt19937& rng, size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

// Which implementation a case runs: the processor's instructions or the portable code.
enum class CryptoPath { kInstructions, kPortable };

inline const char* CryptoPathName(const testing::TestParamInfo<CryptoPath>& info) {
  return info.param == CryptoPath::kInstructions ? "Instructions" : "Portable";
}

// A test firmware with the instruction sets of one path switched on or off.
class CryptoPathTest : public testing::TestWithParam<CryptoPath> {
 protected:
  void SetUp() override {
    if (GetParam() == CryptoPath::kPortable) {
      HwFakeSetAesInstructions(false);
      HwFakeSetShaInstructions(false);
      HwFakeSetCpuidBits(1, 0, HwReg::kEcx, hw::kLeaf1EcxPclmul, false);
    }
    CryptoRecordProcessorFeatures();
  }
  bool Instructions() const { return GetParam() == CryptoPath::kInstructions; }
  // Skips an instruction case the host processor cannot run.
  bool HostLacks(bool feature) {
    return Instructions() && !feature;
  }
  TestFirmware fw_;
};

#define CRYPTO_PATHS(suite) \
  INSTANTIATE_TEST_SUITE_P(Paths, suite, testing::Values(CryptoPath::kInstructions, CryptoPath::kPortable), CryptoPathName)
