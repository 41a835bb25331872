#include <gtest/gtest.h>

#include "fde/boot_notes.h"
#include "boot_notes_support.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

using namespace boot_notes_test;

// The parsed note points into the bytes, which the test keeps.
BootNote Parse(const Bytes& note) {
  BootNote parsed;
  EXPECT_EQ(BootNoteParse(ByteSpan(note.data(), note.size()), &parsed), EFI_SUCCESS);
  return parsed;
}

TEST(BootNoteParse, ChecksSizeAndKeySize) {
  const Bytes key = Pattern(32, 1);
  struct Case {
    const char* what;
    Bytes note;
    EFI_STATUS status;
    size_t candidates;
  } cases[] = {
      {"one candidate", Note(32, key, {0x1000}), EFI_SUCCESS, 1},
      {"key size 16", Note(16, key, {0x1000, 0x2000}), EFI_SUCCESS, 2},
      {"key size 24", Note(24, key, {0x1000}), EFI_UNSUPPORTED, 0},
      {"key size 0", Note(0, key, {0x1000}), EFI_UNSUPPORTED, 0},
      {"key size 2^32 + 16", Note((1ull << 32) + 16, key, {0x1000}), EFI_UNSUPPORTED, 0},
      {"no candidate", Note(32, key, {}), EFI_BAD_BUFFER_SIZE, 0},
      {"23 bytes", Bytes(23, 0), EFI_BAD_BUFFER_SIZE, 0},
      {"empty", Bytes(), EFI_BAD_BUFFER_SIZE, 0},
  };
  for (const Case& c : cases) {
    BootNote parsed;
    EXPECT_EQ(BootNoteParse(ByteSpan(c.note.data(), c.note.size()), &parsed), c.status) << c.what;
    EXPECT_EQ(parsed.candidate_count, c.candidates) << c.what;
  }
  Bytes ragged = Note(32, key, {0x1000, 0x2000});
  ragged.resize(ragged.size() + 7, 0xFF);  // a partial word at the end is no candidate
  BootNote parsed = Parse(ragged);
  ASSERT_EQ(parsed.candidate_count, 2u);
  EXPECT_EQ(BootNoteCandidate(parsed, 1), 0x2000u);
  EXPECT_EQ(BootNoteCandidate(parsed, 2), 0u);
}

// Physical memory 0x10000-0x10FFF and 0x20000-0x20FFF, backed by host buffers.
struct Memory {
  Bytes low = Bytes(0x1000, 0xC3);
  Bytes high = Bytes(0x1000, 0xC3);
  MemoryWindow windows[2] = {{0x10000, 0x1000, low.data()}, {0x20000, 0x1000, high.data()}};

  void Put(uint64_t address, const Bytes& bytes) {
    Bytes& area = address >= 0x20000 ? high : low;
    std::copy(bytes.begin(), bytes.end(), area.begin() + (address & 0xFFF));
  }
  Bytes At(uint64_t address, size_t size) const {
    const Bytes& area = address >= 0x20000 ? high : low;
    return Bytes(area.begin() + (address & 0xFFF), area.begin() + (address & 0xFFF) + size);
  }
};

TEST(BootNoteTakeKey, TakesAndZeroesEveryMatchingCopy) {
  const Bytes key = Pattern(32, 0x40);
  Memory memory;
  memory.Put(0x10100, key);
  memory.Put(0x20FE0, key);  // ends exactly at the window's end
  Bytes decoy = key;
  decoy[5] ^= 1;
  memory.Put(0x10200, decoy);
  Bytes bytes = Note(32, key, {0x10100, 0x10200, 0x20FE0, 0x30000});
  BootNote note = Parse(bytes);

  KeyRecord record;
  UINTN taken = 0;
  ASSERT_EQ(BootNoteTakeKey(note, memory.windows, 2, &record, &taken), EFI_SUCCESS);
  EXPECT_EQ(taken, 2u);
  EXPECT_EQ(record.length, 16u);
  EXPECT_EQ(Bytes(record.bytes, record.bytes + 32), key);
  EXPECT_EQ(memory.At(0x10100, 32), Bytes(32, 0));
  EXPECT_EQ(memory.At(0x20FE0, 32), Bytes(32, 0));
  EXPECT_EQ(memory.At(0x10200, 32), decoy);  // a wrong CRC leaves the bytes alone
  EXPECT_EQ(memory.At(0x100E0, 32), Bytes(32, 0xC3));
}

TEST(BootNoteTakeKey, SixteenByteKeyLeavesAZeroTweakKey) {
  const Bytes key = Pattern(16, 0x70);
  Memory memory;
  memory.Put(0x10010, key);
  memory.Put(0x10020, Bytes(16, 0x99));  // the bytes after a 16-byte copy are not taken
  Bytes bytes = Note(16, key, {0x10010});
  BootNote note = Parse(bytes);
  KeyRecord record;
  UINTN taken = 0;
  ASSERT_EQ(BootNoteTakeKey(note, memory.windows, 2, &record, &taken), EFI_SUCCESS);
  EXPECT_EQ(Bytes(record.bytes, record.bytes + 16), key);
  EXPECT_EQ(Bytes(record.bytes + 16, record.bytes + 128), Bytes(112, 0));
  EXPECT_EQ(memory.At(0x10010, 16), Bytes(16, 0));
  EXPECT_EQ(memory.At(0x10020, 16), Bytes(16, 0x99));
}

TEST(BootNoteTakeKey, SkipsAddressesOutsideTheWindows) {
  const Bytes key = Pattern(32, 0x22);
  Memory memory;
  memory.Put(0x10FF0, Bytes(key.begin(), key.begin() + 16));  // would run past the window
  const uint64_t addresses[] = {0x10FF0, 0x0FFF0, 0x11000, 0x1FFF0, 0, 0xFFFFFFFFFFFFFFF0ull, 0xFFFFFFFFFFFFFFFFull};
  for (uint64_t address : addresses) {
    Bytes bytes = Note(32, key, {address});
    BootNote note = Parse(bytes);
    KeyRecord record;
    record.length = 99;
    UINTN taken = 7;
    EXPECT_EQ(BootNoteTakeKey(note, memory.windows, 2, &record, &taken), EFI_NOT_FOUND) << address;
    EXPECT_EQ(taken, 0u);
    EXPECT_EQ(record.length, 0u);
  }
  EXPECT_EQ(memory.At(0x10FF0, 16), Bytes(key.begin(), key.begin() + 16));
}

TEST(BootNoteMemoryWindows, OrdinaryMemoryOnlyMergedAndWithoutPageZero) {
  TestFirmware fw;
  fw.SetMemoryMap({
      {EfiConventionalMemory, 0, 0x0, 0, 0x10, 0xF},
      {EfiBootServicesData, 0, 0x200000, 0, 0x10, 0xF},
      {EfiLoaderData, 0, 0x100000, 0, 0x100, 0xF},  // touches the one after it in address order
      {EfiReservedMemoryType, 0, 0x300000, 0, 0x10, 0xF},
      {EfiMemoryMappedIO, 0, 0xFEC00000, 0, 0x1, 0x1},
      {EfiRuntimeServicesData, 0, 0x400000, 0, 0x10, 0xF},
      {EfiACPIReclaimMemory, 0, 0x500000, 0, 0x10, 0xF},
      {EfiConventionalMemory, 0, 0xFFFFFFFFFFFF0000ull, 0, 0x100, 0xF},  // wraps around
      {EfiBootServicesCode, 0, 0x600000, 0, 0x2, 0xF},
  });
  MemoryWindow* windows = nullptr;
  UINTN count = 0;
  ASSERT_EQ(BootNoteMemoryWindows(&windows, &count), EFI_SUCCESS);
  ASSERT_EQ(count, 3u);
  EXPECT_EQ(windows[0].base, 0x1000u);
  EXPECT_EQ(windows[0].size, 0xF000u);
  EXPECT_EQ(windows[1].base, 0x100000u);
  EXPECT_EQ(windows[1].size, 0x110000u);
  EXPECT_EQ(windows[2].base, 0x600000u);
  EXPECT_EQ(windows[2].size, 0x2000u);
  EXPECT_EQ(windows[2].bytes, reinterpret_cast<UINT8*>(0x600000));
  PoolFree(windows);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

}  // namespace
