#include <gtest/gtest.h>

#include "config/slide.h"
#include "hw/fake/hw_fake.h"
#include "testfw/test_firmware.h"

namespace {

// CPUID leaf 1 EAX for a family/model pair, written the way the processor encodes it.
void SetProcessor(uint32_t family, uint32_t model) {
  uint32_t base_family = family >= 0xF ? 0xF : family;
  uint32_t ext_family = family >= 0xF ? family - 0xF : 0;
  uint32_t eax = ((model & 0xF) << 4) | (base_family << 8) | ((model >> 4) << 16) | (ext_family << 20);
  HwCpuidResult leaf1 = HwCpuid(1);
  leaf1.eax = eax;
  HwFakeSetCpuid(1, 0, leaf1);
}

}  // namespace

TEST(Slide, ValueIsTwoMebibyteStepsWithTheModel2AOffsetAbove127) {
  TestFirmware fw;
  SetProcessor(6, 0x3A);
  EXPECT_EQ(SlideValue(0), 0u);
  EXPECT_EQ(SlideValue(1), 0x200000u);
  EXPECT_EQ(SlideValue(255), 255u * 0x200000u);
  SetProcessor(6, 0x2A);
  EXPECT_EQ(SlideValue(127), 127u * 0x200000u);
  EXPECT_EQ(SlideValue(128), 128u * 0x200000u + 0x10200000u);
  SetProcessor(0xF + 6, 0x2A);  // the extended family makes it another family
  EXPECT_EQ(SlideValue(128), 128u * 0x200000u);
}

TEST(Slide, RandomByteComesFromRdrandThenFromTheTimeStampCounter) {
  TestFirmware fw;
  SetProcessor(6, 0x3A);
  HwFakeSetRdrand(true);
  HwFakeQueueRdrand({0x1234567890ABCD05ull});
  RandomSlide();
  EXPECT_EQ(KernelSlide, 5u * 0x200000u);
  // Ten failed draws: the counter is folded instead, (t >> 8 ^ t) & 0xFF.
  HwFakeFailRdrand(10);
  HwFakeSetTsc(0x1200, 0);
  EXPECT_EQ(RandomSlideByte(), 0x12);
  // No instruction at all.
  HwFakeSetRdrand(false);
  HwFakeSetTsc(0x3300, 0);
  EXPECT_EQ(RandomSlideByte(), 0x33);
  // A counter that folds to 0 is read again until it does not.
  HwFakeSetTsc(0x0000, 0x100);
  EXPECT_EQ(RandomSlideByte(), 0x01);
  // A stuck counter that folds to 0 cannot hang the boot.
  HwFakeSetTsc(0x4242, 0);
  EXPECT_EQ(RandomSlideByte(), 0x01);
}
