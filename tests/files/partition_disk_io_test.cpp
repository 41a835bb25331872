#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "efi/protocols/block_io.h"
#include "files/partition_disk_io.h"
#include "memory/memory.h"
#include "testfw/memory_disk_io.h"
#include "testfw/test_firmware.h"

namespace {

constexpr UINT32 kMediaId = 7;

// A block device with block I/O alone, as U-Boot's UEFI offers disks: it insists on whole
// blocks inside the device and on buffers at its alignment, and counts the calls.
class BlockOnlyDevice {
 public:
  BlockOnlyDevice(size_t blocks, UINT32 block_size, UINT32 io_align, UINT32 media_id = kMediaId)
      : bytes_(blocks * block_size) {
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = UINT8(i * 7 + i / 251);
    media_.MediaId = media_id;
    media_.MediaPresent = TRUE;
    media_.LogicalPartition = TRUE;
    media_.BlockSize = block_size;
    media_.IoAlign = io_align;
    media_.LastBlock = blocks - 1;
    record_.protocol = EFI_BLOCK_IO_PROTOCOL{0x00010000, &media_, nullptr, Read, Write, nullptr};
    record_.owner = this;
    handle_ = TestFirmware::Current().InstallProtocol(nullptr, kEfiBlockIoProtocolGuid, &record_.protocol);
  }

  EFI_HANDLE handle() const { return handle_; }
  std::vector<UINT8>& bytes() { return bytes_; }
  EFI_BLOCK_IO_MEDIA& media() { return media_; }
  EFI_BLOCK_IO_PROTOCOL* protocol() { return &record_.protocol; }
  int calls() const { return calls_; }

 private:
  struct Record {
    EFI_BLOCK_IO_PROTOCOL protocol;
    BlockOnlyDevice* owner;
  };

  EFI_STATUS Check(UINT32 media_id, EFI_LBA lba, UINTN size, const void* buffer) {
    ++calls_;
    if (media_id != media_.MediaId) return EFI_MEDIA_CHANGED;
    if (size % media_.BlockSize) return EFI_BAD_BUFFER_SIZE;
    if (media_.IoAlign > 1 && reinterpret_cast<uintptr_t>(buffer) % media_.IoAlign) return EFI_INVALID_PARAMETER;
    if (lba > media_.LastBlock || size / media_.BlockSize > media_.LastBlock + 1 - lba) return EFI_INVALID_PARAMETER;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI Read(EFI_BLOCK_IO_PROTOCOL* self, UINT32 media_id, EFI_LBA lba, UINTN size, VOID* buffer) {
    BlockOnlyDevice* d = reinterpret_cast<Record*>(self)->owner;
    EFI_STATUS status = d->Check(media_id, lba, size, buffer);
    if (!EFI_ERROR(status)) std::memcpy(buffer, d->bytes_.data() + lba * d->media_.BlockSize, size);
    return status;
  }
  static EFI_STATUS EFIAPI Write(EFI_BLOCK_IO_PROTOCOL* self, UINT32 media_id, EFI_LBA lba, UINTN size, VOID* buffer) {
    BlockOnlyDevice* d = reinterpret_cast<Record*>(self)->owner;
    EFI_STATUS status = d->Check(media_id, lba, size, buffer);
    if (!EFI_ERROR(status)) std::memcpy(d->bytes_.data() + lba * d->media_.BlockSize, buffer, size);
    return status;
  }

  std::vector<UINT8> bytes_;
  EFI_BLOCK_IO_MEDIA media_{};
  Record record_{};
  EFI_HANDLE handle_ = nullptr;
  int calls_ = 0;
};

struct Range {
  UINT64 offset;
  size_t size;
  size_t buffer_shift;  // the caller's buffer this many bytes off its alignment
};

// Partial first and last blocks, runs of whole blocks, transfers larger than the bounce
// buffer and callers' buffers the device cannot take directly.
constexpr Range kRanges[] = {
    {0, 512, 0},        {1, 10, 0},       {510, 4, 0},      {511, 1027, 0},       {4096, 8192, 0},
    {4096, 8192, 3},    {700, 150000, 0}, {700, 150000, 5}, {0, 256 * 1024, 1},   {256 * 1024 - 9, 9, 0},
};

// The partition's Disk I/O as the loader opens it.
struct Opened {
  PartitionDiskIo io;
  EFI_STATUS status;
  explicit Opened(EFI_HANDLE handle) : io{}, status(PartitionDiskIoOpen(handle, &io)) {}
  EFI_DISK_IO_PROTOCOL* disk() { return io.disk(); }
};

TEST(PartitionDiskIo, ReadsAndWritesAnyByteRangeThroughBlockIo) {
  for (UINT32 block_size : {512u, 4096u}) {
    for (const Range& r : kRanges) {
      SCOPED_TRACE(testing::Message() << "block " << block_size << " offset " << r.offset << " size " << r.size
                                      << " shift " << r.buffer_shift);
      TestFirmware fw;
      BlockOnlyDevice device(256 * 1024 / block_size, block_size, 16);
      Opened opened(device.handle());
      ASSERT_EQ(opened.status, EFI_SUCCESS);
      EXPECT_EQ(opened.io.firmware, nullptr);
      EFI_DISK_IO_PROTOCOL* disk = opened.disk();

      std::vector<UINT8> storage(r.size + 64);
      UINT8* buffer = storage.data() + (16 - reinterpret_cast<uintptr_t>(storage.data()) % 16) % 16 + r.buffer_shift;
      ASSERT_EQ(disk->ReadDisk(disk, kMediaId, r.offset, r.size, buffer), EFI_SUCCESS);
      EXPECT_EQ(std::memcmp(buffer, device.bytes().data() + r.offset, r.size), 0);

      std::vector<UINT8> expected = device.bytes();
      for (size_t i = 0; i < r.size; ++i) buffer[i] = UINT8(0xA5 ^ i);
      std::memcpy(expected.data() + r.offset, buffer, r.size);
      ASSERT_EQ(disk->WriteDisk(disk, kMediaId, r.offset, r.size, buffer), EFI_SUCCESS);
      EXPECT_TRUE(device.bytes() == expected) << "the write changed other bytes or missed some";
      EXPECT_EQ(TrackedAllocationCount(), 0u) << "the bounce buffer was kept";
    }
  }
}

TEST(PartitionDiskIo, RefusesWhatTheDeviceCannotDo) {
  TestFirmware fw;
  BlockOnlyDevice device(8, 512, 0);
  Opened opened(device.handle());
  ASSERT_EQ(opened.status, EFI_SUCCESS);
  EFI_DISK_IO_PROTOCOL* disk = opened.disk();
  UINT8 buffer[1024] = {};
  const std::vector<UINT8> before = device.bytes();

  EXPECT_EQ(disk->ReadDisk(disk, kMediaId, 4096 - 4, 5, buffer), EFI_INVALID_PARAMETER);  // past the end
  EXPECT_EQ(disk->ReadDisk(disk, kMediaId, 4096, 1, buffer), EFI_INVALID_PARAMETER);
  EXPECT_EQ(disk->ReadDisk(disk, kMediaId, ~UINT64(0) - 2, 8, buffer), EFI_INVALID_PARAMETER);  // wraps around
  EXPECT_EQ(disk->ReadDisk(disk, kMediaId, 0, 8, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(disk->ReadDisk(disk, kMediaId + 1, 0, 8, buffer), EFI_MEDIA_CHANGED);
  EXPECT_EQ(disk->ReadDisk(disk, kMediaId, 4096, 0, buffer), EFI_SUCCESS);  // nothing to move
  EXPECT_EQ(device.calls(), 0) << "a refused request reached the device";

  device.media().ReadOnly = TRUE;
  EXPECT_EQ(disk->WriteDisk(disk, kMediaId, 0, 8, buffer), EFI_WRITE_PROTECTED);
  device.media().ReadOnly = FALSE;
  device.protocol()->WriteBlocks = nullptr;  // a device that cannot write: refused before any read
  EXPECT_EQ(disk->WriteDisk(disk, kMediaId, 4, 8, buffer), EFI_WRITE_PROTECTED);
  EXPECT_EQ(device.calls(), 0);
  device.media().MediaPresent = FALSE;
  EXPECT_EQ(disk->ReadDisk(disk, kMediaId, 0, 8, buffer), EFI_NO_MEDIA);
  EXPECT_TRUE(device.bytes() == before);
}

// The adapter alone over 4096-byte blocks, as the hibernation image's partition may have
// them: a run of writes on one device changes exactly the bytes written, and the last byte of
// the partition is the last one reached.
TEST(PartitionDiskIo, ByteAccessOverLargerBlocks) {
  TestFirmware fw;
  BlockOnlyDevice device(16, 4096, 0, 0);
  PartitionDiskIo adapter{};
  PartitionDiskIoOverBlockIo(device.protocol(), &adapter);
  EFI_DISK_IO_PROTOCOL* io = adapter.disk();
  std::vector<UINT8> expect = device.bytes();
  struct {
    UINT64 offset;
    UINTN size;
  } spans[] = {{0, 4096}, {100, 10}, {4000, 200}, {4095, 8194}, {8192, 3 * 4096}, {64 * 1024 - 1, 1}};
  for (const auto& c : spans) {
    std::vector<UINT8> got(c.size);
    ASSERT_EQ(io->ReadDisk(io, 0, c.offset, c.size, got.data()), EFI_SUCCESS) << c.offset;
    EXPECT_EQ(0, std::memcmp(got.data(), expect.data() + c.offset, c.size)) << c.offset;
    std::vector<UINT8> fresh(c.size);
    for (size_t i = 0; i < c.size; ++i) fresh[i] = UINT8((i * 2654435761u + c.offset) >> 7);
    ASSERT_EQ(io->WriteDisk(io, 0, c.offset, c.size, fresh.data()), EFI_SUCCESS) << c.offset;
    std::memcpy(expect.data() + c.offset, fresh.data(), c.size);
    EXPECT_TRUE(device.bytes() == expect) << "exactly the bytes written change, at " << c.offset;
  }
  UINT8 byte = 0;
  EXPECT_EQ(io->ReadDisk(io, 0, 64 * 1024, 1, &byte), EFI_INVALID_PARAMETER);
  EXPECT_EQ(io->ReadDisk(io, 0, 64 * 1024 - 1, 2, &byte), EFI_INVALID_PARAMETER);
  EXPECT_EQ(io->ReadDisk(io, 0, ~0ull, 2, &byte), EFI_INVALID_PARAMETER);
}

TEST(PartitionDiskIo, TakesTheFirmwaresDiskIoWhereThereIsOne) {
  TestFirmware fw;
  MemoryDiskIo served(std::vector<uint8_t>(4096));
  void* firmware_disk = nullptr;
  ASSERT_EQ(gBS->HandleProtocol(served.Handle(), &kEfiDiskIoProtocolGuid, &firmware_disk), EFI_SUCCESS);
  Opened opened(served.Handle());
  ASSERT_EQ(opened.status, EFI_SUCCESS);
  EXPECT_EQ(opened.disk(), firmware_disk);

  EFI_HANDLE bare = fw.InstallProtocol(nullptr, kEfiDiskIoProtocolGuid, firmware_disk);  // no Block I/O
  EXPECT_EQ(Opened(bare).status, EFI_UNSUPPORTED);
  EXPECT_EQ(Opened(nullptr).status, EFI_UNSUPPORTED);
}

}  // namespace
