// The in-memory volume the log tests (and others) stand on.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

using Op = MemoryFileSystem::Op;
constexpr UINT64 kReadWrite = EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE;
constexpr UINT64 kCreate = EFI_FILE_MODE_CREATE | kReadWrite;

class MemoryFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs.Install(DevicePathBuilder().Pci(1, 0).Sata(0).HardDrive(1).Build());
    ASSERT_EQ(fs.Protocol()->OpenVolume(fs.Protocol(), &root), EFI_SUCCESS);
  }
  EFI_FILE_PROTOCOL* Open(const char16_t* name, UINT64 mode, EFI_STATUS expected = EFI_SUCCESS, UINT64 attrs = 0) {
    EFI_FILE_PROTOCOL* file = nullptr;
    EXPECT_EQ(root->Open(root, &file, name, mode, attrs), expected) << ToAscii(name);
    return file;
  }
  std::string ReadAll(EFI_FILE_PROTOCOL* file) {
    char buffer[256];
    UINTN size = sizeof(buffer);
    EXPECT_EQ(file->Read(file, &size, buffer), EFI_SUCCESS);
    return std::string(buffer, size);
  }
  TestFirmware fw;
  MemoryFileSystem fs;
  EFI_FILE_PROTOCOL* root = nullptr;
};

TEST_F(MemoryFileSystemTest, OpenCreateReadWriteAndPositions) {
  fs.AddFile("\\EFI\\Boot\\config.txt", "hello");
  EFI_FILE_PROTOCOL* f = Open(u"efi\\BOOT\\CONFIG.TXT", EFI_FILE_MODE_READ);  // names ignore case
  EXPECT_EQ(ReadAll(f), "hello");
  EXPECT_EQ(ReadAll(f), "");  // at the end: nothing more
  UINTN size = 1;
  char c = 0;
  EXPECT_EQ(f->Write(f, &size, &c), EFI_ACCESS_DENIED);  // opened for reading only
  f->Close(f);

  Open(u"\\missing\\x", kCreate, EFI_NOT_FOUND);
  Open(u"new.txt", EFI_FILE_MODE_READ, EFI_NOT_FOUND);
  Open(u"new.txt", EFI_FILE_MODE_WRITE, EFI_INVALID_PARAMETER);
  f = Open(u"new.txt", kCreate);
  size = 3;
  EXPECT_EQ(f->Write(f, &size, "abc"), EFI_SUCCESS);
  EXPECT_EQ(f->SetPosition(f, 5), EFI_SUCCESS);
  size = 1;
  EXPECT_EQ(f->Write(f, &size, "z"), EFI_SUCCESS);  // the gap is zero-filled
  EXPECT_EQ(fs.ReadFile("\\new.txt"), (std::vector<uint8_t>{'a', 'b', 'c', 0, 0, 'z'}));
  EXPECT_EQ(f->SetPosition(f, ~0ull), EFI_SUCCESS);
  UINT64 position = 0;
  EXPECT_EQ(f->GetPosition(f, &position), EFI_SUCCESS);
  EXPECT_EQ(position, 6u);
  EXPECT_EQ(f->SetPosition(f, 9), EFI_SUCCESS);
  size = 4;
  char buffer[4];
  EXPECT_EQ(f->Read(f, &size, buffer), EFI_DEVICE_ERROR);  // past the end
  f->Close(f);
  root->Close(root);
  EXPECT_EQ(fs.OpenHandles(), 0u);
}

TEST_F(MemoryFileSystemTest, DirectoriesListOneEntryPerRead) {
  fs.AddFile("\\d\\a", "1");
  fs.AddFile("\\d\\bb", "22");
  EFI_FILE_PROTOCOL* d = Open(u"d", EFI_FILE_MODE_READ);
  std::vector<std::string> names;
  for (;;) {
    alignas(8) uint8_t buffer[200];
    UINTN size = 10;
    if (d->Read(d, &size, buffer) == EFI_BUFFER_TOO_SMALL) {
      EXPECT_EQ(size, kEfiFileInfoHeaderSize + 2 * (names.empty() ? 2 : 3));
      size = sizeof(buffer);
    }
    ASSERT_EQ(d->Read(d, &size, buffer), EFI_SUCCESS);
    if (size == 0) break;
    auto* info = reinterpret_cast<EFI_FILE_INFO*>(buffer);
    names.push_back(ToAscii(info->FileName) + "=" + std::to_string(info->FileSize));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"a=1", "bb=2"}));
  EXPECT_EQ(d->SetPosition(d, 1), EFI_UNSUPPORTED);
  EXPECT_EQ(d->SetPosition(d, 0), EFI_SUCCESS);
  UINTN size = 0;
  EXPECT_EQ(d->Read(d, &size, nullptr), EFI_BUFFER_TOO_SMALL);  // the listing starts again
  Open(u"d\\sub", kCreate, EFI_SUCCESS, EFI_FILE_DIRECTORY);
  EXPECT_TRUE(fs.IsDirectory("\\d\\sub"));
}

TEST_F(MemoryFileSystemTest, RenameThroughFileInfo) {
  fs.AddFile("\\LOG", "data");
  fs.AddFile("\\TAKEN", "x");
  EFI_FILE_PROTOCOL* f = Open(u"LOG", kReadWrite);
  UINTN size = 0;
  ASSERT_EQ(f->GetInfo(f, &kEfiFileInfoGuid, &size, nullptr), EFI_BUFFER_TOO_SMALL);
  std::vector<uint8_t> info(kEfiFileInfoHeaderSize + 2 * 8);
  size = info.size();
  ASSERT_EQ(f->GetInfo(f, &kEfiFileInfoGuid, &size, info.data()), EFI_SUCCESS);
  auto* record = reinterpret_cast<EFI_FILE_INFO*>(info.data());
  EXPECT_EQ(record->FileSize, 4u);
  std::memcpy(record->FileName, u"TAKEN", 12);
  record->Size = kEfiFileInfoHeaderSize + 12;
  EXPECT_EQ(f->SetInfo(f, &kEfiFileInfoGuid, info.size(), info.data()), EFI_ACCESS_DENIED);
  std::memcpy(record->FileName, u"OLD", 8);
  record->Size = kEfiFileInfoHeaderSize + 8;
  EXPECT_EQ(f->SetInfo(f, &kEfiFileInfoGuid, info.size(), info.data()), EFI_SUCCESS);
  EXPECT_EQ(fs.FileText("\\OLD"), "data");
  EXPECT_FALSE(fs.Exists("\\LOG"));
  record->Size = 4096;  // larger than the buffer handed over
  EXPECT_EQ(f->SetInfo(f, &kEfiFileInfoGuid, info.size(), info.data()), EFI_BAD_BUFFER_SIZE);
}

TEST_F(MemoryFileSystemTest, DeleteClosesAndMayWarn) {
  fs.AddFile("\\keep", "k");
  fs.AddFile("\\go", "g");
  fs.AddFile("\\dir\\child", "c");
  fs.SetUndeletable("\\keep");
  EFI_FILE_PROTOCOL* f = Open(u"keep", kReadWrite);
  EXPECT_EQ(f->Delete(f), EFI_WARN_DELETE_FAILURE);
  f = Open(u"dir", kReadWrite);
  EXPECT_EQ(f->Delete(f), EFI_WARN_DELETE_FAILURE);  // not empty
  f = Open(u"go", kReadWrite);
  EXPECT_EQ(f->Delete(f), EFI_SUCCESS);
  EXPECT_TRUE(fs.Exists("\\keep"));
  EXPECT_FALSE(fs.Exists("\\go"));
  EXPECT_EQ(fs.OpenHandles(), 1u);  // only the root
}

TEST_F(MemoryFileSystemTest, FaultsHitTheNthCall) {
  fs.AddFile("\\f", "abc");
  EFI_FILE_PROTOCOL* f = Open(u"f", kReadWrite);
  fs.FailNthRead(2, EFI_VOLUME_CORRUPTED);
  char buffer[1];
  UINTN size = 1;
  EXPECT_EQ(f->Read(f, &size, buffer), EFI_SUCCESS);
  size = 1;
  EXPECT_EQ(f->Read(f, &size, buffer), EFI_VOLUME_CORRUPTED);
  EXPECT_EQ(size, 0u);
  size = 1;
  EXPECT_EQ(f->Read(f, &size, buffer), EFI_SUCCESS);
  EXPECT_EQ(fs.Calls(Op::kRead), 3);
  fs.FailNthWrite(1);
  size = 1;
  EXPECT_EQ(f->Write(f, &size, "x"), EFI_DEVICE_ERROR);
  EXPECT_EQ(fs.FileText("\\f"), "abc");
  fs.SetReadOnly(true);
  size = 1;
  EXPECT_EQ(f->Write(f, &size, "x"), EFI_WRITE_PROTECTED);
  Open(u"g", kCreate, EFI_WRITE_PROTECTED);
}

TEST(MemoryFileSystemInstall, NotifiesWithACompleteHandleAndUninstallsOnDestruction) {
  TestFirmware fw;
  const EFI_GUID marker = {1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  EFI_HANDLE handle = nullptr;
  {
    MemoryFileSystem fs;
    handle = fs.Install(DevicePathBuilder().Usb(1).Build(), {marker});
    EXPECT_NE(fw.FindProtocol(handle, kEfiDevicePathProtocolGuid), nullptr);
    EXPECT_TRUE(fw.HasProtocol(handle, marker)) << "tags carry no interface";
    EXPECT_EQ(fw.FindProtocol(handle, kEfiSimpleFileSystemProtocolGuid), fs.Protocol());
  }
  EXPECT_EQ(fw.FindProtocol(handle, kEfiSimpleFileSystemProtocolGuid), nullptr);
  EXPECT_EQ(fw.FindProtocol(handle, kEfiDevicePathProtocolGuid), nullptr);
}

}  // namespace
