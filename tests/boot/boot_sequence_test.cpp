#include <gtest/gtest.h>

#include "hw/fake/hw_fake.h"
#include "testfw/test_firmware.h"

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table);

TEST(BootSequence, WithoutKernelEndsThroughFailBoot) {
  TestFirmware fw;
  auto result = fw.Run([&] { return efi_main(fw.ImageHandle(), fw.SystemTable()); });
  EXPECT_EQ(result.how, TestFirmware::RunResult::How::kExited);
  EXPECT_EQ(result.status, EFI_ABORTED);
  EXPECT_NE(fw.ConsoleText().find("Error loading kernel cache (0xe)\r\n"), std::string::npos);
  EXPECT_NE(fw.ConsoleText().find("Boot failed, sleeping for 10 seconds before exiting...\r\n"), std::string::npos);
  EXPECT_EQ(fw.TotalStallMicroseconds(), 10'000'000u);
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
  EXPECT_NE(HwFakeSerialOutput().find("Start\n"), std::string::npos);
}
