#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "draw/display.h"
#include "flags/guids.h"
#include "memory/memory.h"
#include "tests/ui/toy_picture_codec.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "ui/button.h"
#include "ui/event_protocol.h"
#include "ui/flag_picker.h"
#include "ui/run_loop.h"

namespace {

DUPixel Colour(int n, int kind) { return DUColorMake(UINT8(n), UINT8(kind), 7, 0); }

class FlagPickerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CaptureLog();
    firmware_.Install();
    ASSERT_EQ(InstallTarnEventProtocol(fw_.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen_), EFI_SUCCESS);
    std::vector<RawRecord> records;
    auto layouts = [&](const std::string& prefix, int count, int base) {
      for (int d = 0; d < count; ++d) {
        std::string stem = std::to_string(d) + "_" + prefix;
        records.push_back({stem + "_menu_item.png", ToyPicture(40, 10, Colour(base + d, 1))});
        records.push_back({stem + "_menu_item_sel.png", ToyPicture(40, 10, Colour(base + d, 2))});
        records.push_back({stem + "_button_up.png", ToyPicture(8 + d, 6, Colour(base + d, 3))});
        records.push_back({stem + "_button_down.png", ToyPicture(8 + d, 6, Colour(base + d, 4))});
        records.push_back({stem + ".uchr", "keymap " + stem});
      }
    };
    layouts("flag", 2, 0);
    layouts("flag_other", 3, 100);
    records.push_back({"flag_others_submenu_item.png", ToyPicture(40, 10, Colour(99, 1))});
    records.push_back({"flag_others_submenu_item_sel.png", ToyPicture(40, 10, Colour(99, 2))});
    records.push_back({"tesselmenu_divider_selection.png", ToyPicture(40, 10, Colour(98, 1))});
    records.push_back({"tesselmenu_base_selection.png", ToyPicture(40, 10, Colour(98, 2))});
    records.push_back({"tesselmenu_tick.png", ToyPicture(4, 4, Colour(97, 1))});
    std::string id(4, '\0');
    StoreLe32(id.data(), 4242);
    records.push_back({"flag_picker_indetifier.int32", id});
    bytes_ = RawArchive(records);
    ASSERT_EQ(ArchiveCreate(bytes_.data(), bytes_.size(), &archive_), 0u);
  }
  void TearDown() override {
    if (picker_) UIFlagPickerDestroy(picker_);
    RunDeferred();
    ArchiveDestroy(archive_);
    EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    EXPECT_EQ(firmware_.LiveHandlers(), 0u);
    RemoveTarnEventProtocol();
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
  void Create() {
    ASSERT_EQ(UIFlagPickerCreate(screen_, archive_, DUPoint{300, 400}, Changed, this, &picker_), 0u);
  }
  static void Changed(const void* data, UINT32 length, void* context) {
    static_cast<FlagPickerTest*>(context)->keymaps_.push_back(std::string(static_cast<const char*>(data), length));
  }
  static void RunDeferred() {
    RunLoop* loop = RunLoopGetCurrent();
    ASSERT_EQ(RunLoopExit(), 0);
    ASSERT_EQ(RunLoopRun(loop), 0);
  }
  std::string Stored() {
    auto v = fw_.GetVariable(u"flagstate", TarnBootGuid);
    return v ? std::string(reinterpret_cast<const char*>(v->data())) : "<none>";
  }
  std::vector<int> Checked() {
    std::vector<int> out;
    for (INT32 i = 0; i < picker_->menu->itemCount; ++i) {
      if (picker_->menu->items[i]->checked) out.push_back(i);
    }
    return out;
  }

  TestFirmware fw_;
  ToyPictureCodec codec_;
  MemoryGraphicsOutput display_{800, 600, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents firmware_{7};
  DUScreen* screen_ = nullptr;
  std::vector<uint8_t> bytes_;
  Archive* archive_ = nullptr;
  UIFlagPicker* picker_ = nullptr;
  std::vector<std::string> keymaps_;
};

TEST_F(FlagPickerTest, TheMainMenuListsTheFlagsASeparatorAndTheOthers) {
  Create();
  EXPECT_EQ(picker_->archiveIdentifier, 4242u);
  ASSERT_EQ(picker_->menu->itemCount, 4);  // 0_flag, 1_flag, separator, others
  EXPECT_TRUE(picker_->menu->items[2]->separator);
  EXPECT_EQ(picker_->menu->items[3]->submenu, picker_->othersMenu);
  EXPECT_EQ(picker_->othersMenu->itemCount, 3);
  EXPECT_EQ(Checked(), (std::vector<int>{0}));
  EXPECT_EQ(keymaps_, (std::vector<std::string>{"keymap 0_flag"}));
  EXPECT_EQ(picker_->button->frame.x, 300);
  EXPECT_EQ(picker_->button->kind, kUIViewKindButton);
  EXPECT_EQ(picker_->button->pixels[0], Colour(0, 3));
  EXPECT_EQ(Stored(), "<none>");  // nothing chosen yet
  std::string log = CapturedLog();
  EXPECT_NE(log.find("no image for file: 2_flag_menu_item.png"), std::string::npos) << log;
  EXPECT_NE(log.find("Impossible to find 'tesselmenu_triangle_left.png' file"), std::string::npos);
}

TEST_F(FlagPickerTest, ChoosingAnOthersLayoutTwiceAddsOneMainItemAndIsRemembered) {
  Create();
  TesselMenuItem* other = picker_->othersMenu->items[1];
  other->action(other);
  ASSERT_EQ(picker_->menu->itemCount, 5);
  EXPECT_EQ(picker_->menu->items[0]->context, other->context);
  EXPECT_EQ(Checked(), (std::vector<int>{0}));
  EXPECT_EQ(Stored(), "1_flag_other");
  EXPECT_EQ(*fw_.GetVariable(u"flagarchiveID", TarnBootGuid), (std::vector<uint8_t>{0x92, 0x10, 0, 0}));
  EXPECT_EQ(keymaps_.back(), "keymap 1_flag_other");
  // The new button (9 wide) is centred where the old one (8 wide) was.
  EXPECT_EQ(picker_->button->frame.x, 300 + 4 - 9 / 2);
  EXPECT_EQ(picker_->button->pixels[0], Colour(101, 3));
  other->action(other);
  EXPECT_EQ(picker_->menu->itemCount, 5);
  TesselMenuItem* main1 = picker_->menu->items[2];  // 1_flag, moved down by one
  main1->action(main1);
  EXPECT_EQ(Checked(), (std::vector<int>{2}));
  EXPECT_EQ(Stored(), "1_flag");
}

TEST_F(FlagPickerTest, TheRememberedLayoutComesBackOnlyForTheSameArchive) {
  Create();
  char state[kFlagStateSize];
  ASSERT_EQ(FlagPickerStateString(2, "flag_other", state), 0u);
  ASSERT_EQ(FlagPickerSaveState(state, 4242), 0u);
  EXPECT_EQ(UIFlagPickerRestoreState(picker_), 0u);  // found in the others submenu
  EXPECT_EQ(keymaps_.back(), "keymap 2_flag_other");
  EXPECT_EQ(picker_->menu->itemCount, 5);
  ASSERT_EQ(FlagPickerStateString(1, "flag", state), 0u);
  ASSERT_EQ(FlagPickerSaveState(state, 181), 0u);
  size_t before = keymaps_.size();
  EXPECT_EQ(UIFlagPickerRestoreState(picker_), 1u);
  EXPECT_EQ(keymaps_.size(), before);
  EXPECT_NE(CapturedLog().find("!!! WILL NOT BE ABLE TO RESTORE FLAG PICKER STATE !!!"), std::string::npos);
  // The installed system's preference: layout 92 is the second position.
  fw_.SetVariable(u"prev-lang:kbd", TarnBootGuid, "en:92", 3);
  EXPECT_EQ(UIFlagPickerRestoreStateFromIAPref(picker_), 0u);
  EXPECT_EQ(keymaps_.back(), "keymap 1_flag_other");
}

TEST_F(FlagPickerTest, AClickOnTheButtonOpensTheMenuBelowItAndClosingClearsTheFlag) {
  Create();
  DURect b = picker_->button->frame;
  DUPoint at{b.x + 2, b.y + 2};
  firmware_.Fire(kTarnEventPointerButton, kTarnPointerDown | kTarnPointerPrimary, 0, {at.x, at.y});
  EXPECT_EQ(picker_->button->pixels[0], Colour(0, 4));
  firmware_.Fire(kTarnEventPointerButton, kTarnPointerUp | kTarnPointerPrimary, 0, {at.x, at.y});
  RunDeferred();
  EXPECT_TRUE(picker_->menuOpen);
  ASSERT_NE(picker_->menu->tableView, nullptr);
  EXPECT_EQ(picker_->menu->tableView->frame.y, b.y + b.height + 5);
  tesselMenu_unregisterForEvents(picker_->menu, TRUE);
  EXPECT_FALSE(picker_->menuOpen);
}

}  // namespace
