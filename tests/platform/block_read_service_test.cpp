// The block-read stand-in: installed on whole disks only when asked for, transfers that land
// piece by piece from the timer while the caller polls, and requests it refuses.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "efi/protocols/tarn_block_read.h"
#include "platform/block_read_service.h"
#include "platform/settings_parser.h"
#include "testfw/memory_disk_io.h"
#include "testfw/test_firmware.h"

namespace {

std::vector<uint8_t> Pattern(size_t size) {
  std::vector<uint8_t> v(size);
  for (size_t i = 0; i < size; ++i) v[i] = uint8_t(i * 131 + (i >> 9));
  return v;
}

TarnBlockReadProtocol* Locate() {
  void* interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kTarnBlockReadProtocolGuid, nullptr, &interface))) return nullptr;
  return static_cast<TarnBlockReadProtocol*>(interface);
}

TEST(BlockReadService, TheDirectiveAsksForIt) {
  int seen = 0;
  SettingsSink sink{};
  sink.context = &seen;
  sink.variable = [](void*, const SettingsVariable&) {};
  sink.exit_qemu = [](void*, QemuExitPolicy) {};
  sink.malformed = [](void*, size_t, const char*) {};
  sink.block_read = [](void* context) { ++*static_cast<int*>(context); };
  const char text[] = "block-read\nblock-read now\n";
  uint8_t scratch[64];
  EXPECT_EQ(ParsePlatformSettings(ByteSpan(text, sizeof(text) - 1), SettingsScratch{scratch, sizeof(scratch)}, sink),
            1u);
  EXPECT_EQ(seen, 1);
}

TEST(BlockReadService, OnlyWhenAskedAndOnlyOnWholeDisks) {
  TestFirmware fw;
  MemoryDiskIo partition(std::vector<uint8_t>(64 * 1024));
  EXPECT_EQ(InstallBlockReadService(), EFI_NOT_FOUND);
  EXPECT_EQ(Locate(), nullptr);
  BlockReadRequest();
  EXPECT_EQ(InstallBlockReadService(), EFI_NOT_FOUND) << "a partition is no disk";
  RemoveBlockReadService();

  MemoryDiskIo disk(std::vector<uint8_t>(64 * 1024));
  disk.SetWholeDisk();
  BlockReadRequest();
  ASSERT_EQ(InstallBlockReadService(), EFI_SUCCESS);
  void* on_disk = nullptr;
  EXPECT_EQ(gBS->HandleProtocol(disk.Handle(), &kTarnBlockReadProtocolGuid, &on_disk), EFI_SUCCESS);
  EXPECT_EQ(gBS->HandleProtocol(partition.Handle(), &kTarnBlockReadProtocolGuid, &on_disk), EFI_UNSUPPORTED);
  RemoveBlockReadService();
  EXPECT_EQ(Locate(), nullptr);
}

TEST(BlockReadService, TransfersCompleteLaterFromTheTimer) {
  TestFirmware fw;
  const size_t kDisk = 2 * 1024 * 1024;
  MemoryDiskIo disk(Pattern(kDisk));
  disk.SetWholeDisk();
  BlockReadRequest();
  ASSERT_EQ(InstallBlockReadService(), EFI_SUCCESS);
  TarnBlockReadProtocol* reader = Locate();
  ASSERT_NE(reader, nullptr);

  // 600 KiB from block 3: three pieces, one per timer tick.
  std::vector<uint8_t> buffer(600 * 1024, 0xEE);
  ASSERT_EQ(reader->Read(reader, 0, 3, buffer.size(), buffer.data()), EFI_SUCCESS);
  EXPECT_NE(reader->Busy(reader), 0u);
  EXPECT_EQ(buffer[0], 0xEE) << "nothing has landed yet";
  EXPECT_EQ(reader->Read(reader, 0, 0, 512, buffer.data()), EFI_NOT_READY) << "one transfer at a time";
  int ticks = 0;
  while (reader->Busy(reader) && ticks < 100) {
    fw.Advance100ns(1);
    ++ticks;
  }
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(0, std::memcmp(buffer.data(), disk.Bytes().data() + 3 * 512, buffer.size()));

  struct {
    const char* name;
    UINT64 block;
    UINTN size;
    EFI_STATUS status;
  } refused[] = {
      {"part of a block", 0, 700, EFI_BAD_BUFFER_SIZE},
      {"past the last block", kDisk / 512, 512, EFI_INVALID_PARAMETER},
      {"running past the end", kDisk / 512 - 1, 1024, EFI_INVALID_PARAMETER},
  };
  for (const auto& r : refused) {
    EXPECT_EQ(reader->Read(reader, 0, r.block, r.size, buffer.data()), r.status) << r.name;
    EXPECT_EQ(reader->Busy(reader), 0u) << r.name;
  }
  RemoveBlockReadService();
}

}  // namespace
