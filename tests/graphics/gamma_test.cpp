// Display gamma: the "boot-gamma" record, its ramps, and what the gamma protocol is handed
// when the ramps are applied, blacked out and faded.
#include <gtest/gtest.h>

#include <vector>

#include "efi/protocols/edid_active.h"
#include "efi/protocols/tarn_gamma.h"
#include "flags/guids.h"
#include "graphics/gamma.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

constexpr DisplayIdentity kDisplay = {0x0610, 0xA030, 0x12345678};

struct Table {
  std::vector<std::pair<uint16_t, uint16_t>> points;
};

void Put16(std::vector<uint8_t>& out, uint16_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, uint16_t(v));
  Put16(out, uint16_t(v >> 16));
}

std::vector<uint8_t> Record(const Table& red, const Table& green, const Table& blue, uint32_t serial = kDisplay.serial,
                            int length_error = 0) {
  std::vector<uint8_t> out;
  Put32(out, kDisplay.manufacturer);
  Put32(out, kDisplay.product);
  Put32(out, serial);
  Put16(out, 0);  // total, below
  out.resize(20, 0xEE);
  for (const Table* t : {&red, &green, &blue}) {
    Put16(out, uint16_t(t->points.size()));
    for (auto [in, o] : t->points) {
      Put16(out, in);
      Put16(out, o);
    }
  }
  uint16_t total = uint16_t(out.size() + length_error);
  out[12] = uint8_t(total);
  out[13] = uint8_t(total >> 8);
  return out;
}

GammaRamps Parse(const std::vector<uint8_t>& record, bool* accepted, DisplayIdentity display = kDisplay) {
  GammaRamps ramps;
  *accepted = ParseBootGamma(ByteSpan(record.data(), record.size()), display, &ramps);
  return ramps;
}

TEST(BootGammaRecord, ControlPointsBecomeInterpolatedRamps) {
  bool ok = false;
  GammaRamps r = Parse(Record({}, {{{32768, 16384}}}, {{{16384, 0}, {49152, 65535}}}), &ok);
  ASSERT_TRUE(ok);
  // No points: the straight ramp from (0, 0) to (1023, 65535).
  EXPECT_EQ(r.red[0], 0);
  EXPECT_EQ(r.red[512], 512 * 65535 / 1023);
  EXPECT_EQ(r.red[1023], 65535);
  // One point at index 512.
  EXPECT_EQ(r.green[256], 8192);
  EXPECT_EQ(r.green[512], 16384);
  EXPECT_EQ(r.green[768], 16384 + 256 * (65535 - 16384) / 511);
  EXPECT_EQ(r.green[1023], 65535);
  // A curve that dips: down to 0 at 256, up to full at 768, full to the end.
  EXPECT_EQ(r.blue[128], 0);
  EXPECT_EQ(r.blue[256], 0);
  EXPECT_EQ(r.blue[512], 32767);
  EXPECT_EQ(r.blue[768], 65535);
  EXPECT_EQ(r.blue[1000], 65535);
}

TEST(BootGammaRecord, PointsThatDoNotMoveRightAreSkipped) {
  bool ok = false;
  // 32768 and 32800 both land on index 512; 0 lands on the start point.
  GammaRamps r = Parse(Record({{{0, 5000}, {32768, 16384}, {32800, 60000}}}, {}, {}), &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(r.red[0], 0);
  EXPECT_EQ(r.red[512], 16384);
  EXPECT_EQ(r.red[1023], 65535);
}

TEST(BootGammaRecord, OtherDisplaysAndBadLengthsKeepTheLinearRamps) {
  Table one{{{32768, 0}}};
  struct Case {
    const char* what;
    std::vector<uint8_t> record;
    DisplayIdentity display;
    bool accepted;
  } cases[] = {
      {"same display", Record(one, one, one), kDisplay, true},
      {"serial 0 fits every unit", Record(one, one, one, 0), {kDisplay.manufacturer, kDisplay.product, 99}, true},
      {"other unit", Record(one, one, one), {kDisplay.manufacturer, kDisplay.product, 99}, false},
      {"other maker", Record(one, one, one), {0x0611, kDisplay.product, kDisplay.serial}, false},
      {"other model", Record(one, one, one), {kDisplay.manufacturer, 0xA031, kDisplay.serial}, false},
      {"length one short", Record(one, one, one, kDisplay.serial, -1), kDisplay, false},
      {"length one long", Record(one, one, one, kDisplay.serial, 1), kDisplay, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool ok = false;
    GammaRamps r = Parse(c.record, &ok, c.display);
    EXPECT_EQ(ok, c.accepted);
    EXPECT_EQ(r.red[512], c.accepted ? 0 : 64 * 512);
    EXPECT_EQ(r.blue[1023], c.accepted ? 65535 : 64 * 1023);
  }
  auto record = Record(one, one, one);
  for (size_t cut = 0; cut < record.size(); ++cut) {
    bool ok = true;
    Parse(std::vector<uint8_t>(record.begin(), record.begin() + cut), &ok);
    EXPECT_FALSE(ok) << cut;
  }
}

TEST(Edid, IdentityBytes) {
  std::vector<uint8_t> edid(128, 0);
  edid[8] = 0x06;
  edid[9] = 0x10;
  edid[10] = 0x30;
  edid[11] = 0xA0;
  edid[12] = 0x78;
  edid[13] = 0x56;
  edid[14] = 0x34;
  edid[15] = 0x12;
  DisplayIdentity id{};
  ASSERT_TRUE(DisplayIdentityFromEdid(ByteSpan(edid.data(), edid.size()), &id));
  EXPECT_EQ(id.manufacturer, kDisplay.manufacturer);
  EXPECT_EQ(id.product, kDisplay.product);
  EXPECT_EQ(id.serial, kDisplay.serial);
  EXPECT_FALSE(DisplayIdentityFromEdid(ByteSpan(edid.data(), 15), &id));
}

// A gamma protocol that keeps every call.
struct RecordingGamma {
  TarnGammaProtocol protocol{nullptr, Set};
  struct Call {
    uint32_t mode, count;
    std::vector<uint16_t> red, green, blue;
  };
  std::vector<Call> calls;
  static EFI_STATUS EFIAPI Set(TarnGammaProtocol* self, UINT32 mode, UINT32 count, const UINT16* r, const UINT16* g,
                               const UINT16* b) {
    auto* me = reinterpret_cast<RecordingGamma*>(self);
    Call call{mode, count, {}, {}, {}};
    if (count) {
      call.red.assign(r, r + count);
      call.green.assign(g, g + count);
      call.blue.assign(b, b + count);
    }
    me->calls.push_back(call);
    return EFI_SUCCESS;
  }
};

class GammaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    edid_bytes_.assign(128, 0);
    edid_bytes_[8] = 0x06;
    edid_bytes_[9] = 0x10;
    edid_bytes_[10] = 0x30;
    edid_bytes_[11] = 0xA0;
    edid_ = EFI_EDID_ACTIVE_PROTOCOL{128, edid_bytes_.data()};
    fw_.InstallProtocol(nullptr, kEfiEdidActiveProtocolGuid, &edid_);
  }
  void InstallGamma() { fw_.InstallProtocol(nullptr, kTarnGammaProtocolGuid, &gamma_.protocol); }

  TestFirmware fw_;
  std::vector<uint8_t> edid_bytes_;
  EFI_EDID_ACTIVE_PROTOCOL edid_{};
  RecordingGamma gamma_;
};

TEST_F(GammaTest, LoadReadsTheVariableForTheActiveDisplay) {
  fw_.SetVariable(u"boot-gamma", TarnBootGuid, 7, Record({}, {}, {}, 0));
  LoadBootGamma();
  EXPECT_EQ(BootGammaRamps().green[1023], 65535);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
  edid_bytes_[9] = 0x11;  // another maker's display
  LoadBootGamma();
  EXPECT_EQ(BootGammaRamps().green[1023], 64 * 1023);
}

TEST_F(GammaTest, WithoutTheProtocolNothingHappensAndFadesFail) {
  EXPECT_EQ(ApplyBootGamma(), EFI_SUCCESS);
  EXPECT_EQ(BlackGamma(), EFI_SUCCESS);
  EXPECT_EQ(FadeScreen(100, 4, true), EFI_NOT_FOUND);
  EXPECT_EQ(fw_.TotalStallMicroseconds(), 0u);
}

TEST_F(GammaTest, ApplyAndBlackHandTheRampsToTheProtocol) {
  InstallGamma();
  ASSERT_EQ(ApplyBootGamma(), EFI_SUCCESS);
  ASSERT_EQ(BlackGamma(), EFI_SUCCESS);
  ASSERT_EQ(gamma_.calls.size(), 2u);
  EXPECT_EQ(gamma_.calls[0].mode, 2u);
  EXPECT_EQ(gamma_.calls[0].count, 1024u);
  EXPECT_EQ(gamma_.calls[0].red[1], 64);
  EXPECT_EQ(gamma_.calls[1].blue, std::vector<uint16_t>(1024, 0));
}

TEST_F(GammaTest, FadeInStepsFromBlackToTheRamps) {
  InstallGamma();
  uint64_t stalled = fw_.TotalStallMicroseconds();
  ASSERT_EQ(FadeScreen(400, 4, true), EFI_SUCCESS);
  // Black, 1/4, 2/4, 3/4 of each entry (in whole quarters), then the ramps themselves.
  ASSERT_EQ(gamma_.calls.size(), 4u);
  EXPECT_EQ(gamma_.calls[0].red[1000], 0);
  EXPECT_EQ(gamma_.calls[1].red[1000], 1 * (64000 / 4));
  EXPECT_EQ(gamma_.calls[2].red[1000], 2 * (64000 / 4));
  EXPECT_EQ(gamma_.calls[3].red[1000], 64000);
  EXPECT_EQ(fw_.TotalStallMicroseconds() - stalled, 3u * 100000);
}

TEST_F(GammaTest, FadeOutEndsBlackAndOneStepJumps) {
  InstallGamma();
  ASSERT_EQ(FadeScreen(300, 3, false), EFI_SUCCESS);
  ASSERT_EQ(gamma_.calls.size(), 3u);
  EXPECT_EQ(gamma_.calls[0].green[999], 64 * 999);
  EXPECT_EQ(gamma_.calls[1].green[999], 64 * 999 - 64 * 999 / 3);
  EXPECT_EQ(gamma_.calls[2].green[999], 0);
  gamma_.calls.clear();
  ASSERT_EQ(FadeScreen(300, 1, true), EFI_SUCCESS);
  ASSERT_EQ(gamma_.calls.size(), 1u);
  EXPECT_EQ(gamma_.calls[0].green[999], 64 * 999);
  gamma_.calls.clear();
  ASSERT_EQ(FadeScreen(300, 0, false), EFI_SUCCESS);  // no steps: straight to black
  ASSERT_EQ(gamma_.calls.size(), 1u);
}

}  // namespace
