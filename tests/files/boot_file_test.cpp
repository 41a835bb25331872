#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "output/error_report.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

// A network source serving one file; counts calls and notes where data went.
struct FakeLoadFile {
  EFI_LOAD_FILE_PROTOCOL protocol{Serve};
  std::vector<uint8_t> content;
  int calls = 0;
  void* last_destination = nullptr;
  UINTN lie_about_size = 0;

  static EFI_STATUS EFIAPI Serve(EFI_LOAD_FILE_PROTOCOL* self, EFI_DEVICE_PATH_PROTOCOL*, BOOLEAN, UINTN* size,
                                 VOID* buffer) {
    auto* f = reinterpret_cast<FakeLoadFile*>(self);
    ++f->calls;
    if (!buffer || *size < f->content.size()) {
      *size = f->content.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, f->content.data(), f->content.size());
    f->last_destination = buffer;
    *size = f->lie_about_size ? f->lie_about_size : f->content.size();
    return EFI_SUCCESS;
  }
};

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + 3);
  return v;
}

}  // namespace

TEST(BootFile, MemorySourceReadsAndSeeksWithinItsSize) {
  TestFirmware fw;
  auto data = Pattern(100);
  BootFile file;
  BootFileFromMemory(data.data(), data.size(), &file);
  uint8_t out[64];
  UINT64 n = 64;
  ASSERT_EQ(BootFileRead(&file, &n, out), EFI_SUCCESS);
  EXPECT_EQ(n, 64u);
  n = 64;
  ASSERT_EQ(BootFileRead(&file, &n, out), EFI_SUCCESS);
  EXPECT_EQ(n, 36u);
  EXPECT_EQ(out[0], data[64]);
  EXPECT_EQ(BootFileSetPosition(&file, 101), EFI_INVALID_PARAMETER);
  EXPECT_EQ(BootFileSetPosition(&file, 100), EFI_SUCCESS);
  BootFile empty{};
  UINT64 size = 0;
  EXPECT_EQ(BootFileGetSize(&empty, &size), EFI_INVALID_PARAMETER);
}

TEST(BootFile, NetworkWholeFileGoesStraightIntoTheCallersBuffer) {
  TestFirmware fw;
  FakeLoadFile source;
  source.content = Pattern(5000);
  BootFile file;
  ASSERT_EQ(BootFileOpen(&source.protocol, nullptr, u"\\kernelcache", &file), EFI_SUCCESS);
  EXPECT_EQ(source.calls, 0) << "nothing is sent before the first read";
  std::vector<uint8_t> out(5000);
  UINT64 n = out.size();
  ASSERT_EQ(BootFileRead(&file, &n, out.data()), EFI_SUCCESS);
  EXPECT_EQ(source.last_destination, out.data());
  EXPECT_EQ(out, source.content);
  BootFileClose(&file);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(BootFile, NetworkPartialReadsComeFromOneFetch) {
  TestFirmware fw;
  FakeLoadFile source;
  source.content = Pattern(5000);
  BootFile file;
  ASSERT_EQ(BootFileOpen(&source.protocol, nullptr, u"\\kernelcache", &file), EFI_SUCCESS);
  ASSERT_EQ(BootFileSetPosition(&file, 4000), EFI_SUCCESS);
  uint8_t out[2000];
  UINT64 n = sizeof(out);
  ASSERT_EQ(BootFileRead(&file, &n, out), EFI_SUCCESS);
  EXPECT_EQ(n, 1000u);
  EXPECT_EQ(out[0], source.content[4000]);
  n = sizeof(out);
  ASSERT_EQ(BootFileRead(&file, &n, out), EFI_SUCCESS);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(source.calls, 2) << "one size query, one fetch";
  BootFileClose(&file);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(BootFile, NetworkSizeMismatchIsReportedAndEndsTheBoot) {
  TestFirmware fw;
  FakeLoadFile source;
  source.content = Pattern(300);
  source.lie_about_size = 299;
  BootFile file;
  ASSERT_EQ(BootFileOpen(&source.protocol, nullptr, u"\\f", &file), EFI_SUCCESS);
  auto result = fw.Run([&] {
    uint8_t out[10];
    UINT64 n = sizeof(out);
    return BootFileRead(&file, &n, out);
  });
  EXPECT_EQ(result.how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(result.status, kStatusBootEnding);
  EXPECT_NE(fw.ConsoleText().find("Network file size mismatch\r\n"), std::string::npos);
  BootFileClose(&file);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(BootFile, VolumeReadsAreSplitAtTheReadSize) {
  TestFirmware fw;
  MemoryFileSystem volume;
  volume.AddFile("\\kernelcache", Pattern(3 << 20));
  volume.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
  EFI_FILE_PROTOCOL* root = nullptr;
  ASSERT_EQ(volume.Protocol()->OpenVolume(volume.Protocol(), &root), EFI_SUCCESS);
  for (UINT64 read_size : {UINT64(0), UINT64(0x80000)}) {  // the default 1 MiB, then "kc-read-size=0x80000"
    BootFileSetReadSize(read_size);
    BootFile file;
    ASSERT_EQ(BootFileOpen(nullptr, root, u"\\kernelcache", &file), EFI_SUCCESS);
    int before = volume.Calls(MemoryFileSystem::Op::kRead);
    std::vector<uint8_t> out(3 << 20);
    UINT64 n = out.size();
    ASSERT_EQ(BootFileRead(&file, &n, out.data()), EFI_SUCCESS);
    EXPECT_EQ(n, out.size());
    EXPECT_EQ(volume.Calls(MemoryFileSystem::Op::kRead) - before, read_size ? 6 : 3);
    EXPECT_EQ(out[(3 << 20) - 1], Pattern(3 << 20).back());
    BootFileClose(&file);
  }
  root->Close(root);
}
