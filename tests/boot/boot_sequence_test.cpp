#include <gtest/gtest.h>

#include "boot/guids.h"
#include "hw/fake/hw_fake.h"
#include "testfw/test_firmware.h"

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table);

TEST(BootSequence, WithoutKernelEndsThroughFailBoot) {
  TestFirmware fw;
  auto result = fw.Run([&] { return efi_main(fw.ImageHandle(), fw.SystemTable()); });
  EXPECT_EQ(result.how, TestFirmware::RunResult::How::kExited);
  EXPECT_EQ(result.status, EFI_ABORTED);
  EXPECT_NE(fw.ConsoleText().find("Error loading kernel cache (0xe)\r\n"), std::string::npos);
  // The console started in graphics, so the text-mode farewell stays off the screen.
  EXPECT_EQ(fw.ConsoleText().find("Boot failed"), std::string::npos);
  EXPECT_EQ(fw.TotalStallMicroseconds(), 10'000'000u);
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
}

TEST(BootSequence, VerboseLogToSerialShowsTheStages) {
  TestFirmware fw;
  fw.SetVariable(u"bootercfg", TarnBootGuid, "log=3 level=0x80000001");
  auto result = fw.Run([&] { return efi_main(fw.ImageHandle(), fw.SystemTable()); });
  EXPECT_EQ(result.status, EFI_ABORTED);
  // Verbose switched the console to text; the failure path puts back what it found.
  EXPECT_EQ(fw.ConsoleControlMode(), EfiConsoleControlScreenGraphics);
  const std::string& serial = HwFakeSerialOutput();
  for (const char* mark : {"hearth: Start\r\n", "hearth: Start InitDeviceTree\r\n", "hearth: End InitDeviceTree\r\n",
                           "ERROR!!! Load prelinked kernel with status 0x800000000000000e\r\n"}) {
    EXPECT_NE(serial.find(mark), std::string::npos) << mark << " in:\n" << serial;
  }
  EXPECT_NE(fw.ConsoleText().find("Error loading kernel cache (0xe)\r\n"), std::string::npos);
}

TEST(BootSequence, MissingConsoleControlIsFatal) {
  TestFirmware fw;
  fw.RemoveConsoleControl();
  auto result = fw.Run([&] { return efi_main(fw.ImageHandle(), fw.SystemTable()); });
  EXPECT_EQ(result.status, EFI_ABORTED);
  EXPECT_NE(fw.ConsoleText().find("Can not initialize console\r\n"), std::string::npos);
}
