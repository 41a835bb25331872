// Board, processor and firmware identity at start.
#include <gtest/gtest.h>

#include <cstring>

#include "machine/board_identity.h"
#include "flags/boot_mode.h"
#include "machine/firmware_identity.h"
#include "flags/guids.h"
#include "machine/processor.h"
#include "efi/protocols/tarn_display_connect.h"
#include "hw/fake/hw_fake.h"
#include "testfw/test_firmware.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

void PutMarker() { HwFakeSetPhysical(0xFFFFFF00, "__TARN__", 8); }

// An SMBIOS 3 entry point and a table holding a BIOS structure and one baseboard.
struct SmbiosFixture {
  std::vector<uint8_t> table;
  uint8_t entry[24] = {'_', 'S', 'M', '3', '_'};
  explicit SmbiosFixture(const std::string& product) {
    std::vector<uint8_t> bios = {0, 4, 0, 0};
    table.insert(table.end(), bios.begin(), bios.end());
    table.push_back(0);
    table.push_back(0);
    std::vector<uint8_t> board = {2, 8, 1, 0, 1, 2, 0, 0};  // manufacturer string 1, product string 2
    table.insert(table.end(), board.begin(), board.end());
    for (const char* s : {"Tarn Inc.", product.c_str()}) {
      table.insert(table.end(), s, s + std::strlen(s) + 1);
    }
    table.push_back(0);
    table.insert(table.end(), {127, 4, 2, 0, 0, 0});
    uint32_t size = static_cast<uint32_t>(table.size());
    uint64_t address = reinterpret_cast<uint64_t>(table.data());
    std::memcpy(entry + 0x0C, &size, 4);
    std::memcpy(entry + 0x10, &address, 8);
  }
};

}  // namespace

TEST(FirmwareIdentity, WithoutMarkerNothingIsWritten) {
  TestFirmware fw;
  StoreFirmwareIdentity();
  EXPECT_EQ(fw.VariableWrites(), 0);
}

TEST(FirmwareIdentity, RomAndLastMlbRecordUpToTheSpace) {
  TestFirmware fw;
  PutMarker();
  uint8_t records[72];
  std::memset(records, 0xFF, sizeof(records));
  std::memcpy(records, "C02FIRSTRECORD0 12", 18);
  std::memcpy(records + 18, "C02SECOND1234 zzzz", 18);
  HwFakeSetPhysical(0xFFFFFF08, records, sizeof(records));
  StoreFirmwareIdentity();
  EXPECT_EQ(fw.GetVariable(u"ROM", TarnVendorGuid), Bytes("_TARN_"));
  EXPECT_EQ(fw.VariableAttributes(u"ROM", TarnVendorGuid), 6u);
  EXPECT_EQ(fw.GetVariable(u"MLB", TarnVendorGuid), Bytes("C02SECOND1234"));
}

TEST(FirmwareIdentity, MlbRecordWithoutSpaceIsBoundedAndFirstFFRecordWritesNothing) {
  {
    TestFirmware fw;
    PutMarker();
    HwFakeSetPhysical(0xFFFFFF08, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", 26);  // second record starts at 'S'
    StoreFirmwareIdentity();
    EXPECT_EQ(fw.GetVariable(u"MLB", TarnVendorGuid)->size(), 18u);
  }
  {
    TestFirmware fw;
    PutMarker();
    fw.SetVariable(u"ROM", TarnVendorGuid, 6, Bytes("123456"));
    StoreFirmwareIdentity();  // records area is all 0xFF
    EXPECT_FALSE(fw.GetVariable(u"MLB", TarnVendorGuid));
    EXPECT_EQ(fw.GetVariable(u"ROM", TarnVendorGuid), Bytes("123456"));
  }
}

TEST(BoardIdentity, VariableFirstThenBaseboardProduct) {
  {
    TestFirmware fw;
    fw.SetVariable(u"HW_BID", TarnVendorGuid, "Board-From-Variable");
    char id[kBoardIdSize];
    ReadBoardId(id);
    EXPECT_STREQ(id, "Board-From-Variable");
  }
  {
    TestFirmware fw;
    SmbiosFixture smbios(std::string(80, 'P'));
    fw.SetConfigurationTable(kEfiSmbios3TableGuid, smbios.entry);
    char id[kBoardIdSize];
    ReadBoardId(id);
    EXPECT_EQ(std::string(id), std::string(63, 'P'));
  }
  {
    TestFirmware fw;
    char id[kBoardIdSize];
    ReadBoardId(id);
    EXPECT_STREQ(id, "");
  }
}

namespace {
int gConnectAllCalls = 0;
EFI_STATUS EFIAPI CountConnectAll(TarnDisplayConnectProtocol*) {
  ++gConnectAllCalls;
  return EFI_SUCCESS;
}
}  // namespace

TEST(BoardIdentity, ListedBoardConnectsDisplaysUnlessProvisioned) {
  TarnDisplayConnectProtocol connect{};
  connect.ConnectAll = CountConnectAll;
  for (bool provisioned : {false, true}) {
    TestFirmware fw;
    gConnectAllCalls = 0;
    fw.InstallProtocol(nullptr, kTarnDisplayConnectProtocolGuid, &connect);
    if (provisioned) fw.SetVariable(u"epid_provisioned", kEfiGlobalVariableGuid, "1");
    ConnectDisplaysForBoard("Tarn-B03-5E21");
    ConnectDisplaysForBoard("Some-Other-Board");
    EXPECT_EQ(gConnectAllCalls, provisioned ? 0 : 1);
  }
}

TEST(Processor, SubtypeEightNeedsEveryFeature) {
  TestFirmware fw;
  HwFakeSetCpuid(0x80000000, 0, {0x80000008, 0, 0, 0});
  HwFakeSetCpuid(1, 0, {0, 0, 0x10D01000, 0});
  HwFakeSetCpuid(7, 0, {0, 0x128, 0, 0});
  HwFakeSetCpuid(0x80000001, 0, {0, 0, 1u << 5, 0});
  EXPECT_EQ(SetCpuSubtype(8), EFI_SUCCESS);
  EXPECT_EQ(CpuSubtype, 8u);
  EXPECT_EQ(SetCpuSubtype(7), EFI_UNSUPPORTED);
  HwFakeSetCpuidBits(7, 0, HwReg::kEbx, 1u << 8, false);  // no BMI2
  EXPECT_EQ(SetCpuSubtype(8), EFI_UNSUPPORTED);
  EXPECT_EQ(SetCpuSubtype(3), EFI_SUCCESS);
  EXPECT_EQ(CpuSubtype, 3u);
}
