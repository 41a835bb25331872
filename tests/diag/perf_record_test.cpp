#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "flags/guids.h"
#include "diag/perf_record.h"
#include "efi/protocols/cpu_arch.h"
#include "hw/fake/hw_fake.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {


struct Entry {
  uint32_t kind;
  uint32_t field;
  uint64_t milliseconds;
  uint64_t tsc;
  std::string text;
};

const uint8_t* RecordBytes(uint32_t* capacity = nullptr) {
  EFI_PHYSICAL_ADDRESS address = 0;
  uint32_t size = 0;
  if (PerfRecordLocation(&address, &size) != EFI_SUCCESS) return nullptr;
  if (capacity) *capacity = size;
  return reinterpret_cast<const uint8_t*>(address);
}

std::vector<Entry> Entries() {
  const uint8_t* r = RecordBytes();
  std::vector<Entry> out;
  uint32_t offset = kPerfRecordHeaderSize;
  for (uint32_t i = 0; i < LoadLe32(r + 8); ++i) {
    Entry e{LoadLe32(r + offset), LoadLe32(r + offset + 4), LoadLe64(r + offset + 8), LoadLe64(r + offset + 16),
            reinterpret_cast<const char*>(r + offset + 24)};
    out.push_back(e);
    offset += 24 + e.field;
  }
  EXPECT_EQ(offset, LoadLe32(r + 12));
  return out;
}

// A processor timer of 1 MHz (one tick = 10^9 femtoseconds, 1000 ticks per millisecond).
struct FakeCpuTimer {
  EFI_CPU_ARCH_PROTOCOL protocol{};
  static inline uint64_t ticks = 0;
  static EFI_STATUS EFIAPI GetTimerValue(EFI_CPU_ARCH_PROTOCOL*, UINT32 index, UINT64* value, UINT64* period) {
    if (index != 0 || !value) return EFI_INVALID_PARAMETER;
    *value = ticks;
    if (period) *period = 1000000000ull;
    return EFI_SUCCESS;
  }
  explicit FakeCpuTimer(TestFirmware& fw) {
    protocol.GetTimerValue = GetTimerValue;
    fw.InstallProtocol(nullptr, kEfiCpuArchProtocolGuid, &protocol);
  }
};

class PerfRecordTest : public ::testing::Test {
 protected:
  void Request() { fw.SetVariable(u"hearth-perf-record", TarnBootGuid, "1"); }
  TestFirmware fw;
};

TEST_F(PerfRecordTest, WithoutRequestNothingIsAllocatedOrPublished) {
  EXPECT_EQ(PerfRecordStart(0, 0), EFI_NOT_FOUND);
  PerfRecordMark("Start %s", "Nothing");
  EFI_PHYSICAL_ADDRESS address = 1;
  UINT32 capacity = 1;
  EXPECT_EQ(PublishPerfRecord(&address, &capacity), EFI_NOT_STARTED);
  EXPECT_EQ(address, 0u);
  EXPECT_EQ(fw.LivePageRuns(), 0u);
  EXPECT_FALSE(fw.GetVariable(u"hearth-perf-record-data", TarnBootGuid));
  EXPECT_FALSE(fw.GetVariable(u"hearth-perf-record-data-size", TarnBootGuid));
}

TEST_F(PerfRecordTest, RequestStartsARecordAndIsDeleted) {
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  EXPECT_FALSE(fw.GetVariable(u"hearth-perf-record", TarnBootGuid));
  uint32_t capacity = 0;
  const uint8_t* r = RecordBytes(&capacity);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(capacity, 4096u);
  EXPECT_LE(reinterpret_cast<uintptr_t>(r) + capacity, 0x100000000ull);
  EXPECT_EQ(std::memcmp(r, "hearthpf", 8), 0);
  EXPECT_EQ(LoadLe32(r + 8), 0u);
  EXPECT_EQ(LoadLe32(r + 12), 64u);
  EXPECT_EQ(LoadLe64(r + 16), 0u);  // no processor timer
  // ACPI reclaimable memory, as the operating system expects.
  UINTN size = 0, key = 0, descriptor_size = 0;
  UINT32 version = 0;
  gBS->GetMemoryMap(&size, nullptr, &key, &descriptor_size, &version);
  std::vector<uint8_t> map(size);
  ASSERT_EQ(gBS->GetMemoryMap(&size, reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map.data()), &key, &descriptor_size,
                              &version),
            EFI_SUCCESS);
  bool found = false;
  for (size_t off = 0; off < size; off += descriptor_size) {
    auto* d = reinterpret_cast<EFI_MEMORY_DESCRIPTOR*>(map.data() + off);
    if (d->PhysicalStart == reinterpret_cast<uintptr_t>(r)) found = d->Type == EfiACPIReclaimMemory;
  }
  EXPECT_TRUE(found);
}

TEST_F(PerfRecordTest, EntrySizesFollowTheTextLength) {
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  PerfRecordMark("%s", "0123456789");        // 10 characters
  PerfRecordMark("%s", "012345678901234");   // 15
  PerfRecordMark("%s", "0123456789012345");  // 16
  PerfRecordMark("Start %s\n", "Stage");     // the final line feed is dropped
  PerfRecordMark("");
  std::vector<Entry> e = Entries();
  ASSERT_EQ(e.size(), 5u);
  EXPECT_EQ(e[0].field, 16u);
  EXPECT_EQ(e[1].field, 16u);
  EXPECT_EQ(e[2].field, 24u);
  EXPECT_EQ(e[3].text, "Start Stage");
  EXPECT_EQ(e[3].field, 16u);
  EXPECT_EQ(e[4].field, 8u);
  for (const Entry& entry : e) {
    EXPECT_EQ(entry.kind, kPerfEntryKindText);
    EXPECT_EQ(entry.milliseconds, kPerfNoTimer);
  }
  EXPECT_LT(e[0].tsc, e[1].tsc);
  // Padding after the text is zero.
  const uint8_t* r = RecordBytes();
  for (int i = 10; i < 16; ++i) EXPECT_EQ(r[64 + 24 + i], 0) << i;
}

TEST_F(PerfRecordTest, LongTextIsCutTo255Characters) {
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  PerfRecordMark("%s", std::string(400, 'x').c_str());
  std::vector<Entry> e = Entries();
  ASSERT_EQ(e.size(), 1u);
  EXPECT_EQ(e[0].text.size(), 255u);
  EXPECT_EQ(e[0].field, 256u);
}

TEST_F(PerfRecordTest, The101stFortyByteEntryMovesTheRecordToTwiceTheSize) {
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  for (int i = 0; i < 100; ++i) PerfRecordMark("Mark %05d", i);
  uint32_t capacity = 0;
  const uint8_t* before = RecordBytes(&capacity);
  EXPECT_EQ(capacity, 4096u);
  EXPECT_EQ(LoadLe32(before + 12), 64u + 100 * 40);
  PerfRecordMark("Mark %05d", 100);
  const uint8_t* after = RecordBytes(&capacity);
  EXPECT_EQ(capacity, 8192u);
  EXPECT_NE(after, before);
  EXPECT_EQ(fw.LivePageRuns(), 1u);  // the old pages went back
  std::vector<Entry> e = Entries();
  ASSERT_EQ(e.size(), 101u);
  EXPECT_EQ(e[0].text, "Mark 00000");
  EXPECT_EQ(e[100].text, "Mark 00100");
}

TEST_F(PerfRecordTest, GrowthFailureDropsTheEntryAndKeepsTheRecord) {
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  for (int i = 0; i < 100; ++i) PerfRecordMark("Mark %05d", i);
  fw.FailNthAllocation(1);
  PerfRecordMark("Mark %05d", 100);
  EXPECT_EQ(Entries().size(), 100u);
  PerfRecordMark("Mark %05d", 101);  // the next one grows
  EXPECT_EQ(Entries().size(), 101u);
}

TEST_F(PerfRecordTest, PublishingWritesTheVariablesAndFixesTheSize) {
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  EFI_PHYSICAL_ADDRESS address = 0;
  UINT32 capacity = 0;
  ASSERT_EQ(PublishPerfRecord(&address, &capacity), EFI_SUCCESS);
  EXPECT_EQ(address, reinterpret_cast<uintptr_t>(RecordBytes()));
  EXPECT_EQ(capacity, 4096u);
  auto data = fw.GetVariable(u"hearth-perf-record-data", TarnBootGuid);
  auto size = fw.GetVariable(u"hearth-perf-record-data-size", TarnBootGuid);
  ASSERT_TRUE(data && size);
  ASSERT_EQ(data->size(), 4u);
  EXPECT_EQ(LoadLe32(data->data()), address);
  EXPECT_EQ(LoadLe32(size->data()), 4096u);
  EXPECT_EQ(*fw.VariableAttributes(u"hearth-perf-record-data", TarnBootGuid), 6u);
  EXPECT_EQ(*fw.VariableAttributes(u"hearth-perf-record-data-size", TarnBootGuid), 6u);
  for (int i = 0; i < 150; ++i) PerfRecordMark("Mark %05d", i);
  EXPECT_EQ(Entries().size(), 100u);
  uint32_t now = 0;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(RecordBytes(&now)), address);
  EXPECT_EQ(now, 4096u);
}

TEST_F(PerfRecordTest, FixedAreaTakesNoMoreThanItsSize) {
  const EFI_PHYSICAL_ADDRESS area = 0x3F000000;
  ASSERT_EQ(PerfRecordStart(area, 256), EFI_SUCCESS);
  for (int i = 0; i < 10; ++i) PerfRecordMark("Mark %05d", i);
  uint32_t capacity = 0;
  EXPECT_EQ(reinterpret_cast<uintptr_t>(RecordBytes(&capacity)), area);
  EXPECT_EQ(capacity, 256u);
  EXPECT_EQ(Entries().size(), 4u);  // 64 + 4 * 40 = 224; a fifth would pass 256
}

TEST_F(PerfRecordTest, FixedAreaMustHoldTheHeaderAndStayBelow4GiB) {
  EXPECT_EQ(PerfRecordStart(0x3F000000, 63), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ(PerfRecordStart(0xFFFFF000, 0x2000), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ(PerfRecordStart(0x100000000ull, 4096), EFI_BAD_BUFFER_SIZE);
  EXPECT_EQ(fw.LivePageRuns(), 0u);
}

TEST_F(PerfRecordTest, ProcessorTimerGivesMilliseconds) {
  FakeCpuTimer timer(fw);
  FakeCpuTimer::ticks = 5'000'000;  // 5000 ms
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  const uint8_t* r = RecordBytes();
  EXPECT_EQ(LoadLe64(r + 16), 1000u);
  EXPECT_EQ(LoadLe64(r + 24), 5000u);
  FakeCpuTimer::ticks = 7'250'000;
  PerfRecordMark("Start Later");
  EXPECT_EQ(Entries()[0].milliseconds, 7250u);
}

TEST_F(PerfRecordTest, ProcessorStateMarks) {
  Request();
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  HwFakeSetCpuidBits(1, 0, HwReg::kEcx, 1u << 7, true);
  HwFakeSetCpuidBits(1, 0, HwReg::kEdx, 1u << 29, true);
  HwFakeSetMsr(0x198, 0x1234'0000'1A2Bull);
  HwFakeSetMsr(0x199, 0x1C00);
  HwFakeSetMsr(0x19C, 0x88000000);
  LogProcessorState();
  std::vector<Entry> e = Entries();
  ASSERT_EQ(e.size(), 2u);
  EXPECT_EQ(e[0].text, "PERF_STS 0x1a2b, PERF_CTL 0x1c00");
  EXPECT_EQ(e[1].text, "THERM_STATUS 0x88000000");

  HwFakeSetCpuidBits(1, 0, HwReg::kEcx, 1u << 7, false);
  HwFakeSetCpuidBits(1, 0, HwReg::kEdx, 1u << 29, false);
  LogProcessorState();
  EXPECT_EQ(Entries().size(), 2u);
}

}  // namespace
