#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "devicetree/device_tree.h"
#include "diag/perf_record.h"
#include "flags/boot_mode.h"
#include "handoff/kernel_call_gate.h"
#include "hibernate/check_hibernate.h"
#include "hibernate/hibernate_vars.h"
#include "hibernate/restore.h"
#include "hw/fake/hw_fake.h"
#include "tests/hibernate/hibernate_fixture.h"

namespace {

using How = TestFirmware::RunResult::How;

struct Handoff {
  std::map<uint32_t, std::vector<uint8_t>> records;
  std::vector<uint32_t> order;
};

Handoff WalkHandoff(const uint8_t* header) {
  Handoff h;
  const uint8_t* at = reinterpret_cast<const uint8_t*>(uint64_t(LoadLe32(header + kHdrHandoffPage)) * 4096);
  const uint8_t* end = at + uint64_t(LoadLe32(header + kHdrHandoffPageCount)) * 4096;
  while (at + 8 <= end) {
    uint32_t type = LoadLe32(at), size = LoadLe32(at + 4);
    h.order.push_back(type);
    h.records[type] = std::vector<uint8_t>(at + 8, at + 8 + size);
    if (type == kHandoffEnd) break;
    at += 8 + size;
  }
  return h;
}

class Resume : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
    ASSERT_EQ(CopyKernelCallGate(), EFI_SUCCESS);
    acpi.Install(fw, kMachineSignature);
  }

  TestFirmware::RunResult RunCheck(bool* pending = nullptr) {
    return fw.Run([&] {
      bool waiting = CheckHibernate(uuid);
      if (pending) *pending = waiting;
      return EFI_SUCCESS;
    });
  }

  const uint8_t* EnteredHeader() const {
    return reinterpret_cast<const uint8_t*>(HwFakeLastKernelEntry().boot_args * 4096);
  }

  // The resumed image as the restore code sees it, against the builder's plain view.
  void ExpectResumed(const HibernateImageDescription& d) {
    ASSERT_TRUE(HwFakeLastKernelEntry().entered);
    EXPECT_EQ(HwFakeLastKernelEntry().entry, kRestoreAddress + d.restore_entry);
    const uint8_t* header = EnteredHeader();
    std::vector<uint8_t> view = machine.image.LoaderView();
    // Every byte after the header is the plain image: decrypted exactly.
    EXPECT_EQ(0, std::memcmp(header + 512, view.data() + 512, view.size() - 512));
    const auto* code = reinterpret_cast<const uint8_t*>(kRestoreAddress);
    EXPECT_EQ(0, std::memcmp(code, d.restore_code.data(), d.restore_code.size()));
    uint32_t sum = 0;
    for (uint32_t page = 0; page < 2; ++page) sum += LoadLe32(code + page * 4096 + ((page + 3) % 1024) * 4);
    EXPECT_EQ(LoadLe32(header + kHdrRestoreSum), sum);
    EXPECT_EQ(LoadLe32(header + kHdrSystemTableOffset), uint32_t(reinterpret_cast<uint64_t>(gST) - kRuntimeAddress));
    Handoff h = WalkHandoff(header);
    ASSERT_FALSE(h.order.empty());
    EXPECT_EQ(h.order.front(), kHandoffGraphics);
    EXPECT_EQ(h.order.back(), kHandoffEnd);
    ASSERT_EQ(h.records[kHandoffCryptVector].size(), 16u);
    if (d.encrypt) {
      uint64_t end = LoadLe64(header + kHdrEncryptEnd);
      EXPECT_EQ(0, std::memcmp(h.records[kHandoffCryptVector].data(), machine.image.file.data() + end - 16, 16))
          << "the chaining value is the last ciphertext block";
    }
    EXPECT_TRUE(h.records.count(kHandoffDeviceTree));
    ASSERT_TRUE(h.records.count(kHandoffMemoryMap));
    EXPECT_GT(h.records[kHandoffMemoryMap].size(), 0u);
  }

  TestFirmware fw;
  HibernateAcpi acpi;
  HibernateMachine machine{fw};
  uint8_t uuid[16] = {};
};

TEST(ResumeKinds, PlainEncryptedAndFragmentedImagesResumeThroughTheCallGate) {
  uint8_t uuid[16];
  struct Case {
    const char* name;
    bool encrypt;
    uint32_t extents;
    uint32_t block;
  } cases[] = {{"plain", false, 1, 512}, {"encrypted", true, 1, 512}, {"fragmented", true, 9, 4096}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestFirmware local;
    HibernateAcpi local_acpi;
    local_acpi.Install(local, kMachineSignature);
    ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
    ASSERT_EQ(CopyKernelCallGate(), EFI_SUCCESS);
    HibernateMachine m(local);
    m.MoveSystemTableIntoRuntimeData();
    HibernateImageDescription d = HibernateMachine::Description();
    d.encrypt = c.encrypt;
    d.extents = c.extents;
    d.block_size = c.block;
    d.file_offset = 256 * 1024;
    m.Put(d);
    auto result = local.Run([&] {
      CheckHibernate(uuid);
      return EFI_SUCCESS;
    });
    EXPECT_EQ(result.how, How::kKernelEntered);
    ASSERT_TRUE(HwFakeLastKernelEntry().entered);
    const auto* header = reinterpret_cast<const uint8_t*>(HwFakeLastKernelEntry().boot_args * 4096);
    std::vector<uint8_t> view = m.image.LoaderView();
    EXPECT_EQ(0, std::memcmp(header + 512, view.data() + 512, view.size() - 512));
    EXPECT_EQ(0, std::memcmp(reinterpret_cast<const uint8_t*>(kRestoreAddress), d.restore_code.data(),
                             d.restore_code.size()));
    EXPECT_FALSE(local.GetVariable(u"boot-switch-vars", TarnBootGuid)) << "the record is consumed";
  }
}

TEST_F(Resume, HandOffRecordsHeaderFieldsAndSum) {
  machine.MoveSystemTableIntoRuntimeData();
  HibernateImageDescription d = HibernateMachine::Description();
  d.encrypt = true;
  d.options = kImageOptionProgress;
  machine.Put(d);
  HibernateScreen screen(320, 200);
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL grey{0x50, 0x50, 0x50, 0};
  screen.Protocol()->Blt(screen.Protocol(), &grey, EfiBltVideoFill, 0, 0, 0, 0, 320, 200, 0);
  MemorySmc smc;
  smc.SetKey("MSWr", {0x19});
  EXPECT_EQ(RunCheck().how, How::kKernelEntered);
  ExpectResumed(d);
  const uint8_t* header = EnteredHeader();
  EXPECT_EQ(LoadLe32(header + kHdrWakeReason), 0x5319u);
  EXPECT_EQ(LoadLe32(header + kHdrOptions), kImageOptionProgress);
  Handoff h = WalkHandoff(header);
  const auto& gfx = h.records[kHandoffGraphics];
  ASSERT_EQ(gfx.size(), kHandoffGraphicsSize);
  EXPECT_EQ(LoadLe32(gfx.data() + 12), 320u);
  EXPECT_EQ(LoadLe32(gfx.data() + 16), 200u);
  EXPECT_EQ(LoadLe32(gfx.data() + 20), 32u);
  EXPECT_EQ(LoadLe32(gfx.data() + kHandoffProgressOffset), 0x50505050u) << "saved grey levels under the bar";
  EXPECT_EQ(smc.Value("WKTP"), std::vector<uint8_t>{0});
  // The memory map lies inside the records and is sorted.
  const auto& map = h.records[kHandoffMemoryMap];
  const size_t stride = sizeof(EFI_MEMORY_DESCRIPTOR) + 8;
  for (size_t at = stride; at + stride <= map.size(); at += stride) {
    EXPECT_LE(LoadLe64(map.data() + at - stride + 8), LoadLe64(map.data() + at + 8));
  }
}

// The marks of a performance record, in order.
std::vector<std::string> PerfMarks(const uint8_t* record) {
  std::vector<std::string> marks;
  uint32_t used = LoadLe32(record + 12);
  for (uint32_t at = 64; at + 24 <= used; at += 24 + LoadLe32(record + at + 4)) {
    marks.emplace_back(reinterpret_cast<const char*>(record + at + 24));
  }
  return marks;
}

TEST_F(Resume, PerformanceRecordContinuesInTheImageArea) {
  constexpr uint64_t kPerfArea = 0x33000000;
  machine.MoveSystemTableIntoRuntimeData();
  HibernateImageDescription d = HibernateMachine::Description();
  d.encrypt = true;
  d.perf_start = uint32_t(kPerfArea);
  d.perf_size = 0x2000;
  machine.Put(d);
  // A record asked for at start-up is replaced by the image's.
  fw.SetVariable(u"hearth-perf-record", TarnBootGuid, 7, std::vector<uint8_t>{1});
  ASSERT_EQ(PerfRecordStart(0, 0), EFI_SUCCESS);
  PerfRecordMark("before the resume");
  EXPECT_EQ(RunCheck().how, How::kKernelEntered);
  ExpectResumed(d);
  const auto* record = reinterpret_cast<const uint8_t*>(kPerfArea);
  ASSERT_EQ(0, std::memcmp(record, "hearthpf", 8));
  std::vector<std::string> marks = PerfMarks(record);
  ASSERT_GE(marks.size(), 4u);
  EXPECT_EQ(LoadLe32(record + 8), marks.size());
  EXPECT_EQ(marks.front(), "Start");
  EXPECT_EQ(marks.back(), "End");
  auto read_start = std::find(marks.begin(), marks.end(), "Start hibernate read");
  ASSERT_NE(read_start, marks.end());
  auto read_end = std::find_if(marks.begin(), marks.end(),
                               [](const std::string& m) { return m.rfind("End hibernate read (bytes 0x", 0) == 0; });
  ASSERT_NE(read_end, marks.end());
  EXPECT_LT(read_start, read_end);
  EXPECT_NE(marks[read_end - marks.begin()].find("encrypted 0x"), std::string::npos);
  EXPECT_EQ(std::find(marks.begin(), marks.end(), "before the resume"), marks.end());
  // Published at the end of the read: the operating system finds the area by the variables.
  uint8_t address[4], size[4];
  StoreLe32(address, uint32_t(kPerfArea));
  StoreLe32(size, 0x2000);
  EXPECT_EQ(fw.GetVariable(u"hearth-perf-record-data", TarnBootGuid), std::vector<uint8_t>(address, address + 4));
  EXPECT_EQ(fw.GetVariable(u"hearth-perf-record-data-size", TarnBootGuid), std::vector<uint8_t>(size, size + 4));
}

TEST_F(Resume, AnUnusablePerformanceAreaLeavesTheResumeAlone) {
  machine.MoveSystemTableIntoRuntimeData();
  HibernateImageDescription d = HibernateMachine::Description();
  d.perf_start = 0x33000000;
  d.perf_size = 32;  // cannot hold the record's header
  machine.Put(d);
  EXPECT_EQ(RunCheck().how, How::kKernelEntered);
  ExpectResumed(d);
  EXPECT_FALSE(fw.GetVariable(u"hearth-perf-record-data", TarnBootGuid));
}

TEST(ResumeKinds, PreviewAndBarDrawnOnALitWakeNothingOnADarkOne) {
  uint8_t uuid[16];
  for (uint8_t reason : {0x19, 0x21}) {
    SCOPED_TRACE(reason);
    TestFirmware local;
    HibernateAcpi local_acpi;
    local_acpi.Install(local, kMachineSignature);
    ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
    ASSERT_EQ(CopyKernelCallGate(), EFI_SUCCESS);
    HibernateMachine m(local);
    m.MoveSystemTableIntoRuntimeData();
    HibernateImageDescription d = HibernateMachine::Description();
    d.preview = EncodePreview(320, 200, std::vector<uint32_t>(320 * 200, 0x00C83C28), 0);
    d.options = kImageOptionColorPreview | kImageOptionProgress;
    d.encrypt = true;
    m.Put(d);
    local.SetVariable(u"boot-gfx-delay", TarnBootGuid, 7, std::vector<uint8_t>{'0'});
    HibernateScreen screen(320, 200);
    MemorySmc smc;
    smc.SetKey("MSWr", {reason});
    EXPECT_EQ(local.Run([&] {
                CheckHibernate(uuid);
                return EFI_SUCCESS;
              }).how,
              How::kKernelEntered);
    if (reason == 0x21) {
      EXPECT_TRUE(screen.Untouched()) << "a dark wake draws nothing";
    } else {
      EXPECT_EQ(screen.Pixel(10, 10), 0x00C83C28u) << "the preview";
      EXPECT_EQ(screen.Pixel((320 - 190) / 2 + 3, 200 - 97 + 8), 0x00E6E6E6u) << "block 0 done";
    }
  }
}

TEST_F(Resume, TheRecordKeepsTheHalvesInPlaceAndTheHalvesWorkAlone) {
  machine.MoveSystemTableIntoRuntimeData();
  HibernateImageDescription d = HibernateMachine::Description();
  machine.Put(d);
  fw.SetVariable(u"boot-signature", TarnBootGuid, 7, std::vector<uint8_t>(20, 9));
  fw.SetVariable(u"boot-image-key", TarnBootGuid, 7, std::vector<uint8_t>(16, 9));
  HibernateVars vars{};
  ASSERT_EQ(TakeHibernateVars(&vars), EFI_SUCCESS);
  EXPECT_EQ(0, std::memcmp(vars.image_key, d.key, 16));
  EXPECT_TRUE(fw.GetVariable(u"boot-signature", TarnBootGuid));
  EXPECT_TRUE(fw.GetVariable(u"boot-image-key", TarnBootGuid));
  EXPECT_FALSE(fw.GetVariable(u"boot-switch-vars", TarnBootGuid));

  ASSERT_EQ(TakeHibernateVars(&vars), EFI_SUCCESS);  // now from the halves
  EXPECT_EQ(vars.image_key[0], 9);
  EXPECT_EQ(0, std::memcmp(vars.signature, "TARN", 4));
  EXPECT_EQ(vars.revision, 1u);
  EXPECT_FALSE(fw.GetVariable(u"boot-image-key", TarnBootGuid));
  EXPECT_EQ(TakeHibernateVars(&vars), EFI_NOT_FOUND);
}

TEST_F(Resume, WrongMachineSignatureResetsWithoutDrawing) {
  HibernateImageDescription d = HibernateMachine::Description();
  d.machine_signature = kMachineSignature + 1;
  d.options = kImageOptionProgress;
  machine.Put(d);
  HibernateScreen screen(320, 200);
  auto result = RunCheck();
  EXPECT_EQ(result.how, How::kReset);
  EXPECT_EQ(result.reset_type, EfiResetCold);
  EXPECT_TRUE(screen.Untouched());
  EXPECT_FALSE(fw.GetVariable(u"boot-switch-vars", TarnBootGuid));
  EXPECT_FALSE(HwFakeLastKernelEntry().entered);
}

TEST(ResumeKinds, LockStateFromThePreviewAndTheSleepTime) {
  const uint32_t now = 1796895000;  // the test firmware's clock
  struct {
    const char* name;
    uint32_t sleep_time;
    uint32_t lock_time;
    uint32_t state;
  } cases[] = {
      {"no lock time", 0, 0, 1},
      {"locked a while ago", now - 600, now - 100, 3},
      {"lock time still ahead", now - 600, now + 100, 2},
      {"sleep time after the clock", now + 1000, now + 100, 3},
  };
  uint8_t uuid[16];
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestFirmware fw;
    HibernateAcpi acpi;
    acpi.Install(fw, kMachineSignature);
    ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
    ASSERT_EQ(CopyKernelCallGate(), EFI_SUCCESS);
    HibernateMachine m(fw);
    m.MoveSystemTableIntoRuntimeData();
    HibernateImageDescription d = HibernateMachine::Description();
    d.preview = EncodePreview(8, 8, std::vector<uint32_t>(64, 0x00336699), c.lock_time);
    d.sleep_time = c.sleep_time;
    d.encrypt = true;
    m.Put(d);
    EXPECT_EQ(fw.Run([&] {
                CheckHibernate(uuid);
                return EFI_SUCCESS;
              }).how,
              How::kKernelEntered);
    DeviceTreeNode* chosen = DeviceTreeFindNode("/chosen", false);
    ASSERT_NE(chosen, nullptr);
    DeviceTreeProperty* state = DeviceTreeFindProperty(chosen, "IOScreenLockState");
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(LoadLe32(state->value), c.state);
  }
}

TEST(ResumeKinds, BadLocationsReset) {
  uint8_t uuid[16];
  for (const char* text : {"zz", "", "10000:not-a-uuid", "1000000"}) {
    SCOPED_TRACE(text);
    TestFirmware local;
    HibernateMachine m(local);
    m.Put(HibernateMachine::Description());
    m.SetBootImageText(text);
    auto result = local.Run([&] {
      CheckHibernate(uuid);
      return EFI_SUCCESS;
    });
    EXPECT_EQ(result.how, How::kReset);
  }
}

TEST_F(Resume, EncryptedVolumeWaitsForTheKeyWhenHbkpIsZeroThenFinishes) {
  machine.MoveSystemTableIntoRuntimeData();
  HibernateImageDescription d = HibernateMachine::Description();
  d.encrypt = true;
  uint8_t volume_key[16];
  for (int i = 0; i < 16; ++i) volume_key[i] = uint8_t(0x30 + 7 * i);
  // The image key is announced XORed with the volume key.
  HibernateImageDescription announced = d;
  for (int i = 0; i < 16; ++i) announced.key[i] = d.key[i] ^ volume_key[i];
  machine.Put(d, "");
  std::vector<uint8_t> record = HibernateVarsRecord(announced.key, nullptr);
  fw.SetVariable(u"boot-switch-vars", TarnBootGuid, 7, record);
  machine.SetBootImageText(BootImageText(machine.image.header_offset, "01234567-89AB-CDEF-0123-456789ABCDEF"));
  MemorySmc smc;
  smc.SetKey("HBKP", std::vector<uint8_t>(32, 0));
  bool pending = false;
  EXPECT_EQ(RunCheck(&pending).how, How::kReturned);
  EXPECT_TRUE(pending);
  EXPECT_EQ(uuid[0], 0x01);
  EXPECT_EQ(uuid[15], 0xEF);
  EXPECT_EQ(PendingImageKeyLength(), 16u);

  // The login window leaves: the record goes back for the next boot.
  EXPECT_EQ(SaveHibernateVars(), EFI_SUCCESS);
  EXPECT_EQ(fw.GetVariable(u"IOHibernateRTCVariables", TarnBootGuid), record);
  EXPECT_EQ(fw.VariableAttributes(u"IOHibernateRTCVariables", TarnBootGuid), 1u);

  // Firmware that refuses the non-volatile attribute alone (UEFI firmware does) gets the
  // record with the usual access bits rather than losing it.
  fw.SetVariable(u"IOHibernateRTCVariables", TarnBootGuid, 1, std::vector<uint8_t>(44, 0));
  fw.FailNthVariableWrite(1);
  EXPECT_EQ(SaveHibernateVars(), EFI_SUCCESS);
  EXPECT_EQ(fw.GetVariable(u"IOHibernateRTCVariables", TarnBootGuid), record);
  EXPECT_EQ(fw.VariableAttributes(u"IOHibernateRTCVariables", TarnBootGuid), 7u);

  auto result = fw.Run([&]() -> EFI_STATUS { FinishFDEHibernate(volume_key, 16); });
  EXPECT_EQ(result.how, How::kKernelEntered);
  ExpectResumed(d);
  EXPECT_EQ(fw.GetVariable(u"IOHibernateRTCVariables", TarnBootGuid), record);
}

TEST_F(Resume, HbkpHalfCompletesTheKeyAndIsWiped) {
  machine.MoveSystemTableIntoRuntimeData();
  HibernateImageDescription d = HibernateMachine::Description();
  d.encrypt = true;
  std::vector<uint8_t> half(32, 0);
  for (int i = 0; i < 16; ++i) half[i] = uint8_t(0x55 + i);
  HibernateImageDescription announced = d;
  for (int i = 0; i < 16; ++i) announced.key[i] = d.key[i] ^ half[i];
  machine.Put(d);
  fw.SetVariable(u"boot-switch-vars", TarnBootGuid, 7, HibernateVarsRecord(announced.key, nullptr));
  machine.SetBootImageText(BootImageText(machine.image.header_offset, "01234567-89ab-cdef-0123-456789abcdef"));
  MemorySmc smc;
  smc.SetKey("HBKP", half);
  EXPECT_EQ(RunCheck().how, How::kKernelEntered);
  ExpectResumed(d);
  EXPECT_EQ(smc.Value("HBKP"), std::vector<uint8_t>(32, 0));
}

TEST_F(Resume, WithoutDiskIoTheImageIsReadThroughBlockIo) {
  machine.MoveSystemTableIntoRuntimeData();
  HibernateImageDescription d = HibernateMachine::Description();
  d.encrypt = true;
  d.extents = 3;
  machine.Put(d);
  fw.UninstallProtocol(machine.disk->Handle(), kEfiDiskIoProtocolGuid);
  EXPECT_EQ(RunCheck().how, How::kKernelEntered);
  ExpectResumed(d);
}

TEST_F(Resume, FinishWithAKeyOfAnotherLengthResets) {
  uint8_t key[32] = {};
  auto result = fw.Run([&]() -> EFI_STATUS { FinishFDEHibernate(key, 32); });
  EXPECT_EQ(result.how, How::kReset);
}

TEST_F(Resume, FiveRefusedExitsReset) {
  machine.MoveSystemTableIntoRuntimeData();
  machine.Put(HibernateMachine::Description());
  fw.ChangeMemoryMapTimes(1000);
  auto result = RunCheck();
  EXPECT_EQ(result.how, How::kReset);
  EXPECT_FALSE(fw.BootServicesExited());
}

TEST_F(Resume, FourRefusedExitsStillResume) {
  machine.MoveSystemTableIntoRuntimeData();
  machine.Put(HibernateMachine::Description());
  fw.ChangeMemoryMapTimes(4);
  EXPECT_EQ(RunCheck().how, How::kKernelEntered);
}

TEST_F(Resume, SafeModeAndMissingKeyDoNotResume) {
  machine.Put(HibernateMachine::Description());
  BootModeFlags |= kBootModeSafe;
  bool pending = true;
  EXPECT_EQ(RunCheck(&pending).how, How::kReturned);
  EXPECT_FALSE(pending);
  EXPECT_TRUE(fw.GetVariable(u"boot-switch-vars", TarnBootGuid)) << "safe mode reads nothing";
  BootModeFlags = 0;
  fw.SetVariable(u"boot-switch-vars", TarnBootGuid, 0, std::vector<uint8_t>());
  EXPECT_EQ(RunCheck(&pending).how, How::kReturned);
  EXPECT_FALSE(pending);
}

TEST_F(Resume, IncompleteImageResets) {
  HibernateImageDescription d = HibernateMachine::Description();
  machine.Put(d);
  machine.disk->Bytes().resize(machine.image.extents[0].start + 8192);
  MemoryDiskIo* disk = machine.disk.get();
  (void)disk;
  EXPECT_EQ(RunCheck().how, How::kReset);
}

}  // namespace
