// The loader over a volume file whose reads fail part-way: the segment read error is printed
// and its status returned.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "efi/protocols/simple_file_system.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "kernel/macho_loader.h"
#include "testfw/test_firmware.h"
#include "tests/kernel/macho_test_support.h"

using namespace macho_test;

namespace {

// A read-only volume file over a vector; reads that reach fail_at fail with EFI_DEVICE_ERROR.
struct FailingFile {
  EFI_FILE_PROTOCOL protocol{};
  std::vector<uint8_t> data;
  uint64_t position = 0;
  uint64_t fail_at = ~0ull;

  static FailingFile* Of(EFI_FILE_PROTOCOL* p) { return reinterpret_cast<FailingFile*>(p); }
  static EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* p, UINTN* size, VOID* buffer) {
    FailingFile* f = Of(p);
    if (f->position + *size > f->fail_at) return EFI_DEVICE_ERROR;
    UINTN n = f->position < f->data.size() ? std::min<UINTN>(*size, f->data.size() - f->position) : 0;
    std::copy_n(f->data.begin() + f->position, n, static_cast<uint8_t*>(buffer));
    f->position += n;
    *size = n;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI SetPosition(EFI_FILE_PROTOCOL* p, UINT64 position) {
    Of(p)->position = position;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI GetInfo(EFI_FILE_PROTOCOL* p, const EFI_GUID*, UINTN* size, VOID* buffer) {
    if (*size < sizeof(EFI_FILE_INFO)) {
      *size = sizeof(EFI_FILE_INFO);
      return EFI_BUFFER_TOO_SMALL;
    }
    EFI_FILE_INFO info{};
    info.Size = sizeof(EFI_FILE_INFO);
    info.FileSize = Of(p)->data.size();
    std::memcpy(buffer, &info, sizeof(info));
    *size = sizeof(info);
    return EFI_SUCCESS;
  }
  explicit FailingFile(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
    protocol.Read = Read;
    protocol.SetPosition = SetPosition;
    protocol.GetInfo = GetInfo;
  }
};
static_assert(offsetof(FailingFile, protocol) == 0);

}  // namespace

TEST(MachOVolumeFile, LoadsFromAVolumeAndReportsASegmentReadError) {
  macho::Layout layout;
  std::vector<uint8_t> bytes = SampleKernelFile(&layout);
  {
    TestFirmware fw;
    FailingFile file(bytes);
    BootFile boot_file{};
    boot_file.FileHandle = &file.protocol;
    KernelImageInfo info{};
    EXPECT_EQ(LoadKernelFromStream(&boot_file, &info), EFI_SUCCESS);
    EXPECT_EQ(KernelWord(kDataAddress), kEntry);
  }
  {
    TestFirmware fw;
    FailingFile file(bytes);
    file.fail_at = layout.segment_file_offsets[1] + 1;  // inside __DATA
    BootFile boot_file{};
    boot_file.FileHandle = &file.protocol;
    KernelImageInfo info{};
    EXPECT_EQ(LoadKernelFromStream(&boot_file, &info), EFI_DEVICE_ERROR);
    EXPECT_NE(fw.ConsoleText().find("Read file failed: status 7, buffer size 0x40\r\n"), std::string::npos)
        << fw.ConsoleText();
    EXPECT_EQ(info.LowestAddress, kBase) << "__TEXT was copied and stays";
    EXPECT_EQ(TrackedAllocationCount(), fw.LivePageRuns());
  }
}
