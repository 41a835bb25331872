#include "ui/battery.h"

#include <string>

#include "testfw/memory_smc.h"
#include "tests/ui/toy_picture_codec.h"
#include "tests/ui/widget_fixture.h"

namespace {

// Every picture a colour of its own.
class BatteryTest : public WidgetFixture {
 protected:
  void SetUp() override {
    WidgetFixture::SetUp();
    std::vector<RawRecord> records{{"battery_missing.png", ToyPicture(2, 2, 0x00000001)},
                                   {"battery_warning.png", ToyPicture(2, 2, 0x00000002)},
                                   {"battery_charging_100.png", ToyPicture(2, 2, 0x00000003)},
                                   {"battery_charging_57.png", ToyPicture(2, 2, 0x00000004)},
                                   {"battery_discharging_57.png", ToyPicture(2, 2, 0x00000005)},
                                   {"battery_discharging_56.png", ToyPicture(2, 2, 0x00000006)}};
    bytes_ = RawArchive(records);
    ASSERT_EQ(ArchiveCreate(bytes_.data(), bytes_.size(), &archive_), kArchiveOk);
  }
  void TearDown() override {
    UIBatteryMonitorDestroy(monitor_);
    ArchiveDestroy(archive_);
    WidgetFixture::TearDown();
  }
  void Battery(uint8_t present, uint8_t bad, uint8_t status, uint8_t charge) {
    smc_.SetKey("BBIN", {present});
    smc_.SetKey("BBAD", {bad});
    smc_.SetKey("BSIn", {status});
    smc_.SetKey("BRSC", {0, charge});
  }
  static void Changed(UIBatteryMonitor* monitor, void* context) {
    ++*static_cast<int*>(context);
    (void)UIBatteryMonitorUpdateView(monitor);
  }
  ToyPictureCodec codec_;
  MemorySmc smc_;
  std::vector<uint8_t> bytes_;
  Archive* archive_ = nullptr;
  UIBatteryMonitor* monitor_ = nullptr;
  DUView* view_ = nullptr;
  int changes_ = 0;
};

struct StateCase {
  uint8_t present, bad, status, charge;
  UIBatteryState state;
  DUPixel picture;
};

TEST_F(BatteryTest, EachStateShowsItsPicture) {
  for (StateCase c : {StateCase{0, 0, 0x03, 57, kUIBatteryMissing, 1}, {1, 1, 0x03, 57, kUIBatteryBad, 2},
                      {1, 0, 0x02, 57, kUIBatteryCharged, 3}, {1, 0, 0x03, 57, kUIBatteryCharging, 4},
                      {1, 0, 0x00, 57, kUIBatteryDischarging, 5}, {1, 0, 0x01, 56, kUIBatteryDischarging, 6}}) {
    SCOPED_TRACE(int(c.state));
    Battery(c.present, c.bad, c.status, c.charge);
    UINT8 charge = 0;
    EXPECT_EQ(UIBatteryReadState(&charge), c.state);
    EXPECT_EQ(charge, c.charge);
    DUView* view = nullptr;
    UIBatteryMonitor* monitor = UIBatteryMonitorCreate(&view, nullptr, archive_, nullptr, nullptr);
    ASSERT_NE(monitor, nullptr);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->pixels[0], c.picture);
    UIBatteryMonitorDestroy(monitor);
    EXPECT_EQ(DUViewDestroy(view), EFI_SUCCESS);
  }
}

TEST_F(BatteryTest, PictureNamesFollowTheStates) {
  char name[64];
  ASSERT_TRUE(UIBatteryPictureName(kUIBatteryCharging, 57, name, sizeof(name)));
  EXPECT_STREQ(name, "battery_charging_57.png");
  ASSERT_TRUE(UIBatteryPictureName(kUIBatteryCharged, 57, name, sizeof(name)));
  EXPECT_STREQ(name, "battery_charging_100.png");
  ASSERT_TRUE(UIBatteryPictureName(kUIBatteryDischarging, 255, name, sizeof(name)));
  EXPECT_STREQ(name, "battery_discharging_255.png");
  EXPECT_FALSE(UIBatteryPictureName(kUIBatteryUnsupported, 0, name, sizeof(name)));
}

TEST_F(BatteryTest, NoBatteryKeyMeansNoMonitorAndNoView) {
  view_ = reinterpret_cast<DUView*>(1);
  EXPECT_EQ(UIBatteryMonitorCreate(&view_, screen_, archive_, Changed, &changes_), nullptr);
  EXPECT_EQ(view_, nullptr);
  UINT8 charge = 0;
  EXPECT_EQ(UIBatteryReadState(&charge), kUIBatteryUnsupported);
  EXPECT_EQ(charge, kUIBatteryUnknownCharge);
}

TEST_F(BatteryTest, TheTimerPollsEveryTwoSecondsAndTheNewViewTakesTheOldPlace) {
  Battery(1, 0, 0x00, 57);
  monitor_ = UIBatteryMonitorCreate(&view_, screen_, archive_, Changed, &changes_);
  ASSERT_NE(monitor_, nullptr);
  ASSERT_EQ(view_->screen, screen_);
  ASSERT_EQ(DUViewSetOrigin(view_, DUPoint{40, 30}), EFI_SUCCESS);
  Advance(2000);
  RunDeferred();
  EXPECT_EQ(changes_, 0);  // nothing moved
  Battery(1, 0, 0x00, 56);
  Advance(1000);
  RunDeferred();
  EXPECT_EQ(changes_, 0);  // not yet two seconds
  int reads = smc_.Reads("BRSC");
  Advance(1000);
  RunDeferred();
  EXPECT_GT(smc_.Reads("BRSC"), reads);
  EXPECT_EQ(changes_, 1);
  EXPECT_EQ(view_->pixels[0], 6u);
  EXPECT_EQ(view_->screen, screen_);
  EXPECT_EQ(view_->frame.x, 40);
  EXPECT_EQ(view_->frame.y, 30);
  ASSERT_EQ(DUScreenDraw(screen_), EFI_SUCCESS);
  EXPECT_EQ(display_.Pixel(40, 30), 6u);
}

TEST_F(BatteryTest, SmcReadsAndBatteryPower) {
  EXPECT_EQ(LWIsBatteryPowered(), 0);
  EXPECT_NE(CapturedLog().find("Failure to get SMC Key: BATP"), std::string::npos);
  EXPECT_NE(CapturedLog().find("smcProtocol->SmcReadValue failed for key 'PTAB'"), std::string::npos);
  smc_.SetKey("BATP", {1});
  EXPECT_EQ(LWIsBatteryPowered(), 1);
  UINT8 two[2] = {};
  smc_.SetKey("BRSC", {0, 42});
  EXPECT_EQ(LWSmcValueForKey(MemorySmc::KeyCode("BRSC"), 2, two), 0u);
  EXPECT_EQ(two[1], 42);
}

}  // namespace

namespace {

// A machine without a system management controller at all.
using NoSmcBatteryTest = WidgetFixture;

TEST_F(NoSmcBatteryTest, NoControllerMeansNoMonitorNoViewAndNoBatteryPower) {
  DUView* view = reinterpret_cast<DUView*>(1);
  EXPECT_EQ(UIBatteryMonitorCreate(&view, screen_, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(view, nullptr);
  UINT8 charge = 0;
  EXPECT_EQ(UIBatteryReadState(&charge), kUIBatteryUnsupported);
  EXPECT_EQ(LWIsBatteryPowered(), 0);
  EXPECT_NE(CapturedLog().find("gBS->LocateProtocol for gTarnSmcIoProtocolGuid failed"), std::string::npos);
}

}  // namespace
