#include <gtest/gtest.h>

#include <string>

#include "diag/log.h"
#include "diag/log_sinks.h"
#include "tests/diag/log_test_support.h"

namespace {

using Op = MemoryFileSystem::Op;

class LogFileTest : public ::testing::Test {
 protected:
  void StartFileLog(UINT64 debug = 0) {
    UseLogSettings(kLogSinkFile, debug);
    LogStart(gBooterSettings);
  }
  TestFirmware fw;
};

TEST_F(LogFileTest, AttachesToAnInternalEspAlreadyPresentAndAppends) {
  MemoryFileSystem fs;
  fs.AddFile("\\BOOTER.LOG", "old lines\r\n");
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog();
  LogMessage(kLogCategoryError, "hello %d\n", 7);
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), "old lines\r\nhello 7\r\n");
  EXPECT_GE(fs.Calls(Op::kFlush), 1);
}

TEST_F(LogFileTest, AttachesWhenAQualifyingFileSystemAppearsLater) {
  StartFileLog();
  LogMessage(kLogCategoryError, "before\n");  // no file yet: lost
  MemoryFileSystem usb;
  usb.Install(UsbStickPath(), {MemoryFileSystem::kEspTypeGuid});
  MemoryFileSystem data_partition;  // internal, but not an EFI system partition
  data_partition.Install(InternalSataPath());
  MemoryFileSystem esp;
  esp.Install(DevicePathBuilder().Acpi().Pci(0x1D, 0).Nvme().HardDrive(1).Build(), {MemoryFileSystem::kEspTypeGuid});
  LogMessage(kLogCategoryError, "after\n");
  EXPECT_EQ(esp.FileText("\\BOOTER.LOG"), "after\r\n");
  EXPECT_FALSE(usb.Exists("\\BOOTER.LOG"));
  EXPECT_FALSE(data_partition.Exists("\\BOOTER.LOG"));
}

TEST_F(LogFileTest, UsbStickNeverReceivesTheLog) {
  MemoryFileSystem usb;
  usb.Install(UsbStickPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog();
  LogMessage(kLogCategoryError, "message\n");
  EXPECT_FALSE(usb.Exists("\\BOOTER.LOG"));
  EXPECT_EQ(usb.OpenHandles(), 0u);
}

TEST_F(LogFileTest, RotatesBeforePassing512KiB) {
  MemoryFileSystem fs;
  fs.AddFile("\\BOOTER.LOG", std::string(524000, 'L'));
  fs.AddFile("\\BOOTER.OLD", "older");
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog();
  LogMessage(kLogCategoryError, "%s", std::string(100, 'n').c_str());  // 524100: no rotation
  EXPECT_EQ(fs.FileText("\\BOOTER.OLD"), "older");
  std::string chunk(148, 'c');
  LogMessage(kLogCategoryError, "%s%s%s", chunk.c_str(), chunk.c_str(), std::string(104, 'c').c_str());
  // 524100 + 148 fits; the second chunk would reach 524396 and goes into a new file.
  const std::string expected_old = std::string(524000, 'L') + std::string(100, 'n') + chunk;
  EXPECT_TRUE(fs.FileText("\\BOOTER.OLD") == expected_old) << fs.FileText("\\BOOTER.OLD").size();
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), std::string(252, 'c'));
  LogMessage(kLogCategoryError, "next");
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), std::string(252, 'c') + "next");
  EXPECT_EQ(fs.OpenHandles(), 2u);  // the root and the log
}

TEST_F(LogFileTest, FourHundredBytesOnTopOf524000RenameTheLog) {
  MemoryFileSystem fs;
  fs.AddFile("\\BOOTER.LOG", std::string(524000, 'L'));
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog();
  FileSinkWrite(kLogCategoryError, std::string(400, 'w').c_str(), 400);
  EXPECT_EQ(fs.ReadFile("\\BOOTER.OLD")->size(), 524000u);
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), std::string(400, 'w'));
}

TEST_F(LogFileTest, UndeletableOldLogStopsFileLoggingAndKeepsTheLog) {
  MemoryFileSystem fs;
  fs.AddFile("\\BOOTER.LOG", std::string(524200, 'L'));
  fs.AddFile("\\BOOTER.OLD", "stuck");
  fs.SetUndeletable("\\BOOTER.OLD");
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog();
  LogMessage(kLogCategoryError, "%s", std::string(100, 'x').c_str());
  LogMessage(kLogCategoryError, "later");
  EXPECT_TRUE(fs.FileText("\\BOOTER.LOG") == std::string(524200, 'L'));
  EXPECT_EQ(fs.FileText("\\BOOTER.OLD"), "stuck");
  EXPECT_EQ(fs.OpenHandles(), 0u);
}

TEST(LogFileErrors, WriteOrFlushFailureStopsFileLogging) {
  for (Op failing : {Op::kWrite, Op::kFlush}) {
    TestFirmware fw;
    MemoryFileSystem fs;
    fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
    UseLogSettings(kLogSinkFile);
    LogStart(gBooterSettings);
    LogMessage(kLogCategoryError, "one ");
    fs.FailNth(failing, 1);
    LogMessage(kLogCategoryError, "two ");
    LogMessage(kLogCategoryError, "three");
    EXPECT_EQ(fs.FileText("\\BOOTER.LOG").substr(0, 4), "one ");
    EXPECT_EQ(fs.FileText("\\BOOTER.LOG").find("three"), std::string::npos);
    EXPECT_EQ(fs.OpenHandles(), 0u);
  }
}

TEST_F(LogFileTest, AfterAnErrorALaterFileSystemMayTakeTheLog) {
  MemoryFileSystem first;
  first.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog();
  first.FailNthWrite(1);
  LogMessage(kLogCategoryError, "lost");
  MemoryFileSystem second;
  second.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(1).HardDrive(1).Build(), {MemoryFileSystem::kEspTypeGuid});
  LogMessage(kLogCategoryError, "found");
  EXPECT_EQ(second.FileText("\\BOOTER.LOG"), "found");
}

TEST_F(LogFileTest, DisablingClosesEverythingAndStopsWatching) {
  MemoryFileSystem fs;
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  size_t events_before = fw.LiveEvents();
  StartFileLog();
  EXPECT_EQ(fw.LiveEvents(), events_before + 1);
  LogSetSinks(kLogSinkFile, kLogSinkDisable);
  EXPECT_EQ(fs.OpenHandles(), 0u);
  EXPECT_EQ(fw.LiveEvents(), events_before);
  LogMessage(kLogCategoryError, "gone");
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), "");
  EXPECT_EQ(fw.LivePoolBlocks(), 0u);
}

TEST_F(LogFileTest, OpenFailureLeavesNoHandlesBehind) {
  MemoryFileSystem fs;
  fs.FailNth(Op::kOpen, 1);
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog();
  LogMessage(kLogCategoryError, "x");
  EXPECT_EQ(fs.OpenHandles(), 0u);
  EXPECT_FALSE(fs.Exists("\\BOOTER.LOG"));
}

TEST_F(LogFileTest, ShutdownAppendsTheMemoryLogEvenWithoutTheFileSink) {
  MemoryFileSystem fs;
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  UseLogSettings(0, kLogDebugAppendMemoryLog);
  LogStart(gBooterSettings);
  LogMessage(kLogCategoryError, "kept in memory\n");
  EXPECT_FALSE(fs.Exists("\\BOOTER.LOG"));
  LogShutdown();
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), "kept in memory\r\n");
  EXPECT_EQ(fs.OpenHandles(), 0u);
  // A second shutdown (after a returning recovery image) adds only what is new.
  LogMessage(kLogCategoryError, "more\n");
  LogShutdown();
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), "kept in memory\r\nmore\r\n");
}

TEST_F(LogFileTest, ShutdownWithFileSinkAppendsTheMemoryCopyAfterTheLiveLines) {
  MemoryFileSystem fs;
  fs.Install(InternalSataPath(), {MemoryFileSystem::kEspTypeGuid});
  StartFileLog(kLogDebugAppendMemoryLog);
  LogMessage(kLogCategoryError, "line\n");
  LogShutdown();
  EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), "line\r\nline\r\n");
}

TEST(LogDevicePath, WhichVolumesQualify) {
  const EFI_GUID other = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
  const EFI_GUID sas = {0xD487DDB4, 0x008B, 0x11D9, {0xAF, 0xDC, 0x00, 0x10, 0x83, 0xFF, 0xCA, 0x4D}};
  const EFI_GUID uboot_root = {0xE61D73B9, 0xA384, 0x4ACC, {0xAE, 0xAB, 0x82, 0xE8, 0x28, 0xF3, 0x62, 0x8B}};
  struct Case {
    const char* what;
    std::vector<uint8_t> path;
    bool qualifies;
  } cases[] = {
      {"sata", InternalSataPath(), true},
      {"atapi", DevicePathBuilder().Pci(0x1F, 1).Atapi().HardDrive(1).Build(), true},
      {"nvme", DevicePathBuilder().Pci(0x1D, 0).Pci(0, 0).Nvme().HardDrive(1).Build(), true},
      {"sas vendor", DevicePathBuilder().Pci(3, 0).MessagingVendor(sas).HardDrive(1).Build(), true},
      {"other vendor", DevicePathBuilder().Pci(3, 0).MessagingVendor(other).HardDrive(1).Build(), false},
      {"usb", UsbStickPath(), false},
      {"internal vendor", DevicePathBuilder().HardwareVendor(kInternalStorageVendorGuid).HardDrive(1).Build(), true},
      {"other hw vendor", DevicePathBuilder().HardwareVendor(other).HardDrive(1).Build(), false},
      {"one hw node after disk", DevicePathBuilder().Sata(0).Pci(1, 0).HardDrive(1).Build(), true},
      {"two hw nodes after disk", DevicePathBuilder().Sata(0).Pci(1, 0).Pci(2, 0).HardDrive(1).Build(), false},
      {"empty", DevicePathBuilder().Build(), false},
      // U-Boot's UEFI: its root vendor node, then a SCSI node for the disk on the AHCI port.
      {"u-boot ahci", DevicePathBuilder().HardwareVendor(uboot_root).Node(3, 2, {0, 0, 0, 0}).HardDrive(2).Build(), true},
      {"scsi behind usb", DevicePathBuilder().Pci(0x14, 0).Usb(1).Node(3, 2, {0, 0, 0, 0}).HardDrive(1).Build(), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LogDevicePathQualifies(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(c.path.data())), c.qualifies)
        << c.what;
  }
  // A node claiming a length below its own header ends the walk without qualifying.
  std::vector<uint8_t> broken = DevicePathBuilder().Sata(0).Build();
  broken[2] = 2;
  EXPECT_FALSE(LogDevicePathQualifies(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(broken.data())));
}

}  // namespace
