// The whole boot with an unlock key and a key-store blob delivered by the boot notes. The blob
// is claimed by the kernel's key-store block, its one copy that may reach the kernel; the
// unlock key of an unencrypted root is claimed by nothing and may not survive in loader memory
// (the loader's data, pools and pages) once the kernel runs. A failed boot keeps neither.
#include <gtest/gtest.h>

#include <algorithm>

#include "flags/guids.h"
#include "fde/unlock_key.h"
#include "boot_notes_support.h"
#include "hw/fake/hw_fake.h"
#include "testfw/boot_machine.h"
#include "testfw/memory_smc.h"

namespace {

using namespace boot_notes_test;
using How = TestFirmware::RunResult::How;

constexpr EFI_GUID kBootInfoGuid = {0x8D63D4FE, 0xBD3C, 0x4AAD, {0x88, 0x1D, 0x86, 0xFD, 0x97, 0x4B, 0xC1, 0xDF}};

bool RecordWiped(const KeyRecord& record) {
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&record);
  return std::all_of(bytes, bytes + sizeof(record), [](uint8_t b) { return b == 0; });
}

// A machine whose SMC holds the payload key and whose variables hold the sealed payload.
struct NotesMachine {
  explicit NotesMachine(bool with_kernel) : machine(fw) {
    if (with_kernel) machine.AddSmallKernel();
    smc.SetKey("HBKP", key);
    fw.SetVariable(u"boot-info-payload", kBootInfoGuid, 7,
                   Encrypt(PlainPayload(1, unlock_key, uint32_t(blob.size()), blob).bytes,
                           Bytes(key.begin(), key.begin() + 16), Bytes(key.begin() + 16, key.end())));
    fw.SetVariable(u"bootercfg", TarnBootGuid, "log=2 level=0x80000001");
    fw.WatchSecret(unlock_key);
    if (!with_kernel) fw.WatchSecret(blob);
    fw.AddImageData(&DeliveredUnlockKey(), sizeof(KeyRecord));
    fw.AddImageData(&DeliveredKeyStoreBlob(), sizeof(KeyRecord));
  }
  bool Delivered() const {
    return HwFakeSerialOutput().find("Boot notes: unlock key delivered") != std::string::npos &&
           HwFakeSerialOutput().find("Boot notes: key-store blob delivered (40 bytes)") != std::string::npos;
  }

  TestFirmware fw;
  BootMachine machine;
  MemorySmc smc;
  const Bytes key = Pattern(32, 0x10);
  const Bytes unlock_key = Pattern(16, 0x3B);
  const Bytes blob = Pattern(40, 0x71);
};

TEST(SecretsAtKernelEntry, UnclaimedSecretsAreWipedBeforeTheKernelRuns) {
  NotesMachine m(true);
  auto result = m.machine.Boot();
  ASSERT_EQ(result.how, How::kKernelEntered) << HwFakeSerialOutput();
  EXPECT_TRUE(m.Delivered()) << HwFakeSerialOutput();
  EXPECT_EQ(m.fw.SecretsAtKernelEntry(), 0);
  EXPECT_TRUE(RecordWiped(DeliveredUnlockKey()));
  EXPECT_TRUE(RecordWiped(DeliveredKeyStoreBlob()));
}

TEST(SecretsAtKernelEntry, AFailedBootWipesThemBeforeReturningToTheFirmware) {
  NotesMachine m(false);
  auto result = m.machine.Boot();
  ASSERT_EQ(result.how, How::kExited);
  EXPECT_TRUE(m.Delivered()) << HwFakeSerialOutput();
  EXPECT_TRUE(RecordWiped(DeliveredUnlockKey()));
  EXPECT_TRUE(RecordWiped(DeliveredKeyStoreBlob()));
  EXPECT_EQ(m.fw.SecretsLeaked(), 0);
}

}  // namespace
