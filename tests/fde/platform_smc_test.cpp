#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "machine/smc.h"
#include "hw/fake/hw_fake.h"
#include "platform/settings_parser.h"
#include "platform/smc_service.h"
#include "testfw/test_firmware.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct SmcLines {
  std::vector<std::pair<uint32_t, Bytes>> keys;
  std::vector<std::string> malformed;
};

SmcLines Parse(const std::string& text) {
  SmcLines out;
  SettingsSink sink{};
  sink.context = &out;
  sink.smc_key = [](void* ctx, const SettingsSmcKey& k) {
    static_cast<SmcLines*>(ctx)->keys.push_back({k.key, Bytes(k.value, k.value + k.value_size)});
  };
  sink.malformed = [](void* ctx, size_t, const char* reason) {
    static_cast<SmcLines*>(ctx)->malformed.push_back(reason);
  };
  Bytes input(text.begin(), text.end());
  Bytes scratch(SettingsScratchSize(input.size()));
  ParsePlatformSettings(ByteSpan(input.data(), input.size()), SettingsScratch{scratch.data(), scratch.size()}, sink);
  return out;
}

TEST(SmcDirective, KeysAndValues) {
  struct Case {
    std::string line;
    uint32_t key;
    Bytes value;
  } cases[] = {
      {"smc HBKP hex:000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F", 0x48424B50,
       {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29,
        30, 31}},
      {"smc MSTc u8:42", SmcKey("MSTc"), {42}},
      {"smc BRSC u16:0x1234", SmcKey("BRSC"), {0x12, 0x34}},  // big-endian, as the controller keeps numbers
      {"smc \"F0 x\" u32:1  # a key with a space", 0x46302078, {0, 0, 0, 1}},
      {"smc TEXT \"ab\"", SmcKey("TEXT"), {'a', 'b'}},
      {"smc BIG1 u64:0x0102030405060708", SmcKey("BIG1"), {1, 2, 3, 4, 5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    SmcLines lines = Parse(c.line + "\n");
    ASSERT_EQ(lines.keys.size(), 1u) << c.line;
    EXPECT_EQ(lines.keys[0].first, c.key) << c.line;
    EXPECT_EQ(lines.keys[0].second, c.value) << c.line;
  }
}

TEST(SmcDirective, MalformedLines) {
  struct Case {
    std::string line;
    std::string reason;
  } cases[] = {
      {"smc", "smc needs a key"},
      {"smc HBKP", "smc needs a value"},
      {"smc HBK u8:1", "smc key must be four characters"},
      {"smc HBKPX u8:1", "smc key must be four characters"},
      {"smc \"HB\\tP\" u8:1", "smc key must be printable ASCII"},
      {"smc HBKP hex:", "smc value must be 1 to 32 bytes"},
      {"smc HBKP hex:" + std::string(66, '0'), "smc value must be 1 to 32 bytes"},
      {"smc HBKP u8:256", "integer value is not a number of its width"},
      {"smc HBKP u8:1 extra", "unexpected text at the end of the line"},
  };
  for (const Case& c : cases) {
    SmcLines lines = Parse(c.line + "\n");
    EXPECT_TRUE(lines.keys.empty()) << c.line;
    ASSERT_EQ(lines.malformed.size(), 1u) << c.line;
    EXPECT_EQ(lines.malformed[0], c.reason) << c.line;
  }
}

TEST(SmcService, AbsentWithoutKeys) {
  TestFirmware fw;
  EXPECT_EQ(InstallSmcService(), EFI_NOT_FOUND);
  TarnSmcIoProtocol* smc = nullptr;
  EXPECT_EQ(SmcLocate(&smc), EFI_NOT_FOUND);
}

TEST(SmcService, ServesTheLoaderSideOfTheBootKey) {
  TestFirmware fw;
  Bytes key(32);
  for (size_t i = 0; i < key.size(); ++i) key[i] = static_cast<uint8_t>(0x80 + i);
  ASSERT_EQ(SmcServiceSetKey(kSmcKeyBootKey, key.data(), key.size()), EFI_SUCCESS);
  const UINT8 limit = 9;
  ASSERT_EQ(SmcServiceSetKey(kSmcKeyPowerLimit, &limit, 1), EFI_SUCCESS);
  ASSERT_EQ(InstallSmcService(), EFI_SUCCESS);
  EXPECT_EQ(InstallSmcService(), EFI_ALREADY_STARTED);

  UINT8 value[2] = {};
  EXPECT_EQ(SmcReadKey(kSmcKeyPowerLimit, 1, value), EFI_SUCCESS);
  EXPECT_EQ(value[0], 9);
  EXPECT_EQ(SmcReadKey(kSmcKeyPowerLimit, 2, value), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SmcReadKey(kSmcKeyOnBattery, 1, value), EFI_NOT_FOUND);

  UINT8 taken[32] = {};
  EXPECT_EQ(SmcTakeBootKey(taken), EFI_SUCCESS);
  EXPECT_EQ(Bytes(taken, taken + 32), key);
  EXPECT_EQ(SmcTakeBootKey(taken), EFI_SUCCESS);  // the slot now reads as zeros
  EXPECT_EQ(Bytes(taken, taken + 32), Bytes(32, 0));
  EXPECT_NE(HwFakeSerialOutput().find("platform: smc HBKP written (32 bytes, all zero)"), std::string::npos);

  RemoveSmcService();
  TarnSmcIoProtocol* smc = nullptr;
  EXPECT_EQ(SmcLocate(&smc), EFI_NOT_FOUND);
}

TEST(SmcService, TableLimits) {
  TestFirmware fw;
  UINT8 bytes[33] = {};
  EXPECT_EQ(SmcServiceSetKey(1, bytes, 0), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SmcServiceSetKey(1, bytes, 33), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SmcServiceSetKey(1, nullptr, 1), EFI_INVALID_PARAMETER);
  for (UINT32 key = 0; key < kSmcServiceMaxKeys; ++key) ASSERT_EQ(SmcServiceSetKey(key, bytes, 1), EFI_SUCCESS);
  EXPECT_EQ(SmcServiceSetKey(kSmcServiceMaxKeys, bytes, 1), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(SmcServiceSetKey(3, bytes, 2), EFI_SUCCESS);  // replacing needs no new slot
}

}  // namespace
