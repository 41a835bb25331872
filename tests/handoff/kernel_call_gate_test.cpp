#include <gtest/gtest.h>

#include <cstring>

#include "handoff/kernel_call_gate.h"
#include "hw/fake/hw_fake.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {
// Target of the RIP-relative operand whose 32-bit displacement sits at disp_at and whose
// instruction ends at next.
UINTN RipTarget(UINTN disp_at, UINTN next) {
  return next + static_cast<int32_t>(LoadLe32(KernelCallGate + disp_at));
}
}  // namespace

TEST(KernelCallGate, DataLayoutAndSelfReferences) {
  EXPECT_EQ(LoadLe16(KernelCallGate + kKernelCallGateGdtDescriptor), 0x18) << "GDT limit";
  EXPECT_EQ(LoadLe16(KernelCallGate + kKernelCallGateFarPointer + 4), 0x08) << "code selector";
  const uint8_t code[8] = {0xFF, 0xFF, 0, 0, 0, 0x9E, 0xCF, 0};
  const uint8_t data[8] = {0xFF, 0xFF, 0, 0, 0, 0x92, 0xCF, 0};
  EXPECT_EQ(std::memcmp(KernelCallGate + kKernelCallGateGdt + 8, code, 8), 0);
  EXPECT_EQ(std::memcmp(KernelCallGate + kKernelCallGateGdt + 16, data, 8), 0);
  EXPECT_EQ(kKernelCallGateGdt + 24, kKernelCallGateSize);
  // Every RIP-relative operand lands on the field it means.
  EXPECT_EQ(RipTarget(0x03, 0x07), kKernelCallGateGdt);
  EXPECT_EQ(RipTarget(0x0A, 0x0E), kKernelCallGateGdtDescriptor + 2);
  EXPECT_EQ(RipTarget(0x11, 0x15), 0x3Cu) << "the 32-bit part";
  EXPECT_EQ(RipTarget(0x17, 0x1B), kKernelCallGateFarPointer);
  EXPECT_EQ(RipTarget(0x1E, 0x22), kKernelCallGateGdtDescriptor);
  EXPECT_EQ(RipTarget(0x38, 0x3C), kKernelCallGateFarPointer);
}

TEST(KernelCallGate, CopiedBelow4GiBAndEnteredWithInterruptsOff) {
  TestFirmware fw;
  ASSERT_EQ(CopyKernelCallGate(), EFI_SUCCESS);
  const void* copy = KernelCallGateCopy();
  ASSERT_NE(copy, nullptr);
  EXPECT_LT(reinterpret_cast<uintptr_t>(copy), 0x100000000ull);
  EXPECT_EQ(std::memcmp(copy, KernelCallGate, kKernelCallGateSize), 0);
  auto result = fw.Run([] {
    EnterKernel(0x1234000, 0x2000000);
    return EFI_SUCCESS;
  });
  EXPECT_EQ(result.how, TestFirmware::RunResult::How::kKernelEntered);
  EXPECT_EQ(HwFakeLastKernelEntry().gate, copy);
  EXPECT_EQ(HwFakeLastKernelEntry().boot_args, 0x1234000u);
  EXPECT_EQ(HwFakeLastKernelEntry().entry, 0x2000000u);
  EXPECT_FALSE(HwFakeLastKernelEntry().interrupts_enabled);
}

TEST(KernelCallGate, AllocationFailureIsReported) {
  TestFirmware fw;
  fw.FailNthAllocation(1);
  EXPECT_EQ(CopyKernelCallGate(), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(KernelCallGateCopy(), nullptr);
  EXPECT_NE(fw.ConsoleText().find("Could not allocate kernel call gate (9)\r\n"), std::string::npos);
}
