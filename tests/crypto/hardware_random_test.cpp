#include "crypto_test_support.h"
#include "crypto/hardware_random.h"

namespace {

TEST(HardwareRandom64, ReturnsTheFirstValueDelivered) {
  TestFirmware fw;
  HwFakeSetRdrand(true);
  HwFakeQueueRdrand({0x1122334455667788, 0x99});
  EXPECT_EQ(HardwareRandom64(), 0x1122334455667788u);
  HwFakeFailRdrand(9);
  EXPECT_EQ(HardwareRandom64(), 0x99u);
}

TEST(HardwareRandom64, GivesUpAfterTenAttempts) {
  TestFirmware fw;
  HwFakeSetRdrand(true);
  HwFakeFailRdrand(10);
  HwFakeQueueRdrand({0xABCD});
  EXPECT_EQ(HardwareRandom64(), 0u);
  // The eleventh draw was never made: the queued value is still there.
  EXPECT_EQ(HardwareRandom64(), 0xABCDu);
}

TEST(HardwareRandom64, NoInstructionMeansNoDraw) {
  TestFirmware fw;
  HwFakeSetRdrand(false);
  HwFakeQueueRdrand({0x5555});
  EXPECT_EQ(HardwareRandom64(), 0u);
}

TEST(CryptoFeatures, FollowTheProcessorBetweenCases) {
  {
    TestFirmware fw;
    HwFakeSetAesInstructions(false);
    HwFakeSetShaInstructions(false);
    EXPECT_FALSE(CryptoFeatures().aes);
    EXPECT_FALSE(CryptoUseShaInstructions(CryptoFeatures()));
  }
  TestFirmware fw;
  HwFakeSetAesInstructions(true);
  EXPECT_TRUE(CryptoFeatures().aes);
}

}  // namespace
