#include <gtest/gtest.h>

#include <vector>

#include "machine/smc.h"
#include "testfw/memory_smc.h"
#include "testfw/test_firmware.h"

namespace {

static_assert(SmcKey("HBKP") == 0x48424B50);

TEST(Smc, NoProtocolMeansNoController) {
  TestFirmware fw;
  TarnSmcIoProtocol* smc = reinterpret_cast<TarnSmcIoProtocol*>(1);
  EXPECT_EQ(SmcLocate(&smc), EFI_NOT_FOUND);
  EXPECT_EQ(smc, nullptr);
  UINT8 value = 7;
  EXPECT_EQ(SmcReadKey(kSmcKeyOnBattery, 1, &value), EFI_NOT_FOUND);
  EXPECT_EQ(value, 7);
}

TEST(Smc, ReadsBigEndianBytesAsStored) {
  TestFirmware fw;
  MemorySmc fake;
  fake.SetKey("BRSC", {0x00, 0x5A});
  UINT8 value[2] = {};
  EXPECT_EQ(SmcReadKey(kSmcKeyChargePercent, 2, value), EFI_SUCCESS);
  EXPECT_EQ(value[1], 0x5A);
  EXPECT_EQ(fake.Reads("BRSC"), 1);
}

TEST(Smc, RetriesUpToTenTimes) {
  struct Case {
    int failures;
    EFI_STATUS status;
    int reads;
  } cases[] = {{0, EFI_SUCCESS, 1}, {9, EFI_SUCCESS, 10}, {10, EFI_DEVICE_ERROR, 10}, {50, EFI_DEVICE_ERROR, 10}};
  for (const Case& c : cases) {
    TestFirmware fw;
    MemorySmc fake;
    fake.SetKey("MSTc", {0x2A});
    fake.FailReads("MSTc", c.failures);
    UINT8 value = 0;  // the caller's default
    EXPECT_EQ(SmcReadKey(kSmcKeyPowerLimit, 1, &value), c.status) << c.failures;
    EXPECT_EQ(fake.Reads("MSTc"), c.reads) << c.failures;
    // A failed read leaves the default in place, not the controller's half-written bytes.
    EXPECT_EQ(value, c.status == EFI_SUCCESS ? 0x2A : 0) << c.failures;
  }
}

TEST(Smc, RejectsSizesItCannotHold) {
  TestFirmware fw;
  MemorySmc fake;
  UINT8 buffer[64] = {};
  EXPECT_EQ(SmcRead(fake.Protocol(), kSmcKeyBootKey, 0, buffer), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SmcRead(fake.Protocol(), kSmcKeyBootKey, 33, buffer), EFI_INVALID_PARAMETER);
  EXPECT_EQ(SmcWrite(fake.Protocol(), kSmcKeyBootKey, 33, buffer), EFI_INVALID_PARAMETER);
  EXPECT_EQ(fake.Reads("HBKP") + fake.Writes("HBKP"), 0);
}

TEST(Smc, TakeBootKeyReadsThenZeroesTheSlot) {
  TestFirmware fw;
  MemorySmc fake;
  std::vector<uint8_t> secret(32);
  for (size_t i = 0; i < secret.size(); ++i) secret[i] = uint8_t(0xA0 + i);
  fake.SetKey("HBKP", secret);
  UINT8 key[kSmcBootKeySize] = {};
  EXPECT_EQ(SmcTakeBootKey(key), EFI_SUCCESS);
  EXPECT_EQ(std::vector<uint8_t>(key, key + 32), secret);
  EXPECT_EQ(fake.Value("HBKP"), std::vector<uint8_t>(32, 0));
}

TEST(Smc, TakeBootKeyIgnoresAFailedOverwrite) {
  TestFirmware fw;
  MemorySmc fake;
  fake.SetKey("HBKP", std::vector<uint8_t>(32, 0x11));
  fake.FailWrites("HBKP", 1);
  UINT8 key[kSmcBootKeySize] = {};
  EXPECT_EQ(SmcTakeBootKey(key), EFI_SUCCESS);
  EXPECT_EQ(key[31], 0x11);
  EXPECT_EQ(fake.Writes("HBKP"), 1);
}

TEST(Smc, TakeBootKeyUnreadableLeavesTheSlotAlone) {
  TestFirmware fw;
  MemorySmc fake;
  UINT8 key[kSmcBootKeySize] = {};
  EXPECT_EQ(SmcTakeBootKey(key), EFI_NOT_FOUND);
  EXPECT_EQ(fake.Writes("HBKP"), 0);
}

}  // namespace
