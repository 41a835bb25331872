#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "diag/entropy.h"
#include "hw/fake/hw_fake.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {

constexpr uint16_t kPmTimerPort = 0x408;

// ACPI tables in one page below 4 GiB: RSDP (revision 2) -> XSDT, or RSDP (revision 0) ->
// RSDT; the root lists another table and then the FADT.
struct AcpiTables {
  uint8_t* rsdp;
  uint8_t* root;
  uint8_t* fadt;
  uint8_t* other;
  EFI_CONFIGURATION_TABLE entries[2] = {};

  AcpiTables(TestFirmware& fw, uint32_t pm_timer_block, bool use_xsdt) {
    EFI_PHYSICAL_ADDRESS page = 0xFFFFFFFF;
    EXPECT_EQ(gBS->AllocatePages(AllocateMaxAddress, EfiACPIReclaimMemory, 1, &page), EFI_SUCCESS);
    uint8_t* base = reinterpret_cast<uint8_t*>(page);
    std::memset(base, 0, 4096);
    rsdp = base;
    root = base + 0x100;
    fadt = base + 0x200;
    other = base + 0x300;
    std::memcpy(other, "APIC", 4);
    StoreLe32(other + 4, 36);
    std::memcpy(fadt, "FACP", 4);
    StoreLe32(fadt + 4, 116);
    StoreLe32(fadt + 76, pm_timer_block);
    const uint32_t entry = use_xsdt ? 8 : 4;
    std::memcpy(root, use_xsdt ? "XSDT" : "RSDT", 4);
    StoreLe32(root + 4, 36 + 2 * entry);
    uint64_t tables[2] = {reinterpret_cast<uintptr_t>(other), reinterpret_cast<uintptr_t>(fadt)};
    for (int i = 0; i < 2; ++i) {
      if (use_xsdt) {
        StoreLe64(root + 36 + 8 * i, tables[i]);
      } else {
        StoreLe32(root + 36 + 4 * i, static_cast<uint32_t>(tables[i]));
      }
    }
    std::memcpy(rsdp, "RSD PTR ", 8);
    rsdp[15] = use_xsdt ? 2 : 0;
    if (use_xsdt) StoreLe64(rsdp + 24, reinterpret_cast<uintptr_t>(root));
    StoreLe32(rsdp + 16, use_xsdt ? 0 : static_cast<uint32_t>(reinterpret_cast<uintptr_t>(root)));
    entries[0].VendorGuid = kEfiSmbiosTableGuid;
    entries[1].VendorGuid = use_xsdt ? kEfiAcpi20TableGuid : kEfiAcpi10TableGuid;
    entries[1].VendorTable = rsdp;
    fw.SystemTable()->NumberOfTableEntries = 2;
    fw.SystemTable()->ConfigurationTable = entries;
  }
};

TEST(EntropyHardware, SixtyFourBytesAreEightWordsOfRandomXorTsc) {
  TestFirmware fw;
  HwFakeSetRdrand(true);
  std::vector<uint64_t> random;
  for (uint64_t i = 0; i < 8; ++i) random.push_back(0x1111111111111111ull * (i + 1));
  HwFakeQueueRdrand(random);
  HwFakeSetTsc(5000, 7);
  uint8_t buffer[72];
  std::memset(buffer, 0xCC, sizeof(buffer));
  EXPECT_EQ(FillEntropySeed(buffer, 64), EFI_SUCCESS);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(LoadLe64(buffer + 8 * i), random[i] ^ (5000 + 7 * i)) << i;
  for (int i = 64; i < 72; ++i) EXPECT_EQ(buffer[i], 0xCC) << i;
}

TEST(EntropyHardware, AnInstructionFailingTenTimesContributesZero) {
  TestFirmware fw;
  HwFakeSetRdrand(true);
  HwFakeSetTsc(100, 1);
  HwFakeFailRdrand(10);
  HwFakeQueueRdrand({0xABCD});
  uint8_t buffer[16];
  EXPECT_EQ(FillEntropySeed(buffer, 16), EFI_SUCCESS);
  EXPECT_EQ(LoadLe64(buffer), 100u);              // the counter alone
  EXPECT_EQ(LoadLe64(buffer + 8), 0xABCDu ^ 101);  // the next word draws again

  HwFakeFailRdrand(9);  // nine failures still deliver on the tenth try
  HwFakeQueueRdrand({0x5000});
  EXPECT_EQ(FillEntropySeed(buffer, 8), EFI_SUCCESS);
  EXPECT_EQ(LoadLe64(buffer), 0x5000u ^ 102);
}

TEST(EntropyHardware, LengthNotAMultipleOfEightIsReported) {
  TestFirmware fw;
  HwFakeSetRdrand(true);
  uint8_t buffer[64];
  EXPECT_EQ(FillEntropySeed(buffer, 63), EFI_INVALID_PARAMETER);
  EXPECT_NE(fw.ConsoleText().find("Entropy seed length 63 is not a multiple of 8\r\n"), std::string::npos);
}

TEST(EntropyTimer, NoFadtGivesZerosAndOneMessage) {
  TestFirmware fw;
  HwFakeSetRdrand(false);
  uint8_t buffer[64];
  std::memset(buffer, 0xCC, sizeof(buffer));
  EXPECT_EQ(FillEntropySeed(buffer, 64), EFI_SUCCESS);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 64), std::vector<uint8_t>(64, 0));
  const std::string message = "entropy_seed_legacy() unable to find ACPI PM Timer\r\n";
  EXPECT_EQ(fw.ConsoleText(), message);
}

TEST(EntropyTimer, FadtWithoutTimerPortGivesZeros) {
  TestFirmware fw;
  HwFakeSetRdrand(false);
  AcpiTables acpi(fw, 0, true);
  uint8_t buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ(FillEntropySeed(buffer, 8), EFI_SUCCESS);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 8), std::vector<uint8_t>(8, 0));
}

TEST(EntropyTimer, FindsThePortThroughXsdtAndRsdt) {
  for (bool xsdt : {true, false}) {
    TestFirmware fw;
    AcpiTables acpi(fw, 0x12340000 | kPmTimerPort, xsdt);
    uint16_t port = 0;
    EXPECT_EQ(EntropyFindPmTimerPort(&port), EFI_SUCCESS) << xsdt;
    EXPECT_EQ(port, kPmTimerPort) << xsdt;
  }
}

TEST(EntropyTimer, ShortFadtIsNotReadPastItsLength) {
  TestFirmware fw;
  AcpiTables acpi(fw, kPmTimerPort, true);
  StoreLe32(acpi.fadt + 4, 78);  // ends inside the timer field
  uint16_t port = 0;
  EXPECT_EQ(EntropyFindPmTimerPort(&port), EFI_NOT_FOUND);
}

// A timer that advances one tick per read; every reading is kept.
struct ScriptedTimer {
  uint16_t now = 0xFF00;  // wraps during the run
  std::vector<uint16_t> readings;
  void Install() {
    HwFakeSetPortReader([this](uint16_t port, int width) -> uint32_t {
      if (port != kPmTimerPort) return 0xFFFFFFFF;
      readings.push_back(now);
      return 0xABCD0000u | now++;
    });
  }
};

TEST(EntropyTimer, EachByteWaitsZeroTo47TicksPastThePreviousReading) {
  TestFirmware fw;
  HwFakeSetRdrand(false);
  AcpiTables acpi(fw, kPmTimerPort, true);
  ScriptedTimer timer;
  timer.Install();
  HwFakeSetTsc(0x123456789ull, 0x1357);
  uint8_t buffer[64];
  EXPECT_EQ(FillEntropySeed(buffer, 64), EFI_SUCCESS);

  // Replay: the byte is taken from the first reading at or above the target.
  uint64_t tsc = 0x123456789ull;
  uint16_t target = 0;
  size_t read = 0;
  for (int i = 0; i < 64; ++i) {
    uint16_t previous = i ? timer.readings[read - 1] : 0;
    uint16_t t = timer.readings[read++];
    while (t < target) t = timer.readings[read++];
    if (i) {
      EXPECT_LE(uint16_t(t - previous), 48) << i;  // the wait, plus the read that passed it
    }
    uint64_t m = t ^ tsc ^ (tsc >> 8) ^ (tsc >> 16);
    tsc += 0x1357;
    EXPECT_EQ(buffer[i], uint8_t(m)) << i;
    target = uint16_t((m & 47) + t);
  }
  EXPECT_EQ(read, timer.readings.size());
}

TEST(EntropyTimer, StuckTimerCannotHangTheBoot) {
  TestFirmware fw;
  HwFakeSetRdrand(false);
  AcpiTables acpi(fw, kPmTimerPort, true);
  size_t reads = 0;
  HwFakeSetPortReader([&](uint16_t, int) -> uint32_t {
    ++reads;
    return 0;
  });
  uint8_t buffer[4];
  EXPECT_EQ(FillEntropySeed(buffer, 4), EFI_SUCCESS);
  EXPECT_LE(reads, 4u * kEntropyMaxTimerPolls);
}

TEST(EntropyTimer, ZeroLengthReadsNothing) {
  TestFirmware fw;
  HwFakeSetRdrand(false);
  AcpiTables acpi(fw, kPmTimerPort, true);
  ScriptedTimer timer;
  timer.Install();
  EXPECT_EQ(FillEntropySeed(nullptr, 0), EFI_SUCCESS);
  EXPECT_TRUE(timer.readings.empty());
}

}  // namespace
