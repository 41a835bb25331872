// The flag picker on the archive the build makes (build/host/ui/flag_picker.efires): every
// row, flag, key map and menu picture it asks for is there, at both scales.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "draw/display.h"
#include "memory/memory.h"
#include "tests/required_tool.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_image_codec.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_input_devices.h"
#include "ui/event_protocol.h"
#include "ui/flag_picker.h"
#include "ui/key_codes.h"
#include "ui/key_translate.h"
#include "ui/run_loop.h"

namespace {

class BuiltFlagPickerTest : public ::testing::TestWithParam<UINT32> {
 protected:
  void SetUp() override {
    std::string path = std::string(HEARTH_TEST_UI_ARCHIVE_DIR) + "/flag_picker.efires";
    std::ifstream in(path, std::ios::binary);
    REQUIRE_TOOL(in.good(), "the build's flag picker archive is missing: " + path);
    bytes_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    CaptureLog();
    firmware_.Install();
    ASSERT_EQ(InstallTarnEventProtocol(fw_.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUSetScale(GetParam()), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen_), EFI_SUCCESS);
    ASSERT_EQ(ArchiveCreate(bytes_.data(), bytes_.size(), &archive_), 0u);
  }
  void TearDown() override {
    if (picker_) UIFlagPickerDestroy(picker_);
    RunLoop* loop = RunLoopGetCurrent();
    if (loop && RunLoopExit() == 0) {
      EXPECT_EQ(RunLoopRun(loop), 0);
    }
    if (archive_) ArchiveDestroy(archive_);
    if (screen_) {
      EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    }
    RemoveTarnEventProtocol();
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
  static void Changed(const void* data, UINT32 length, void* context) {
    static_cast<BuiltFlagPickerTest*>(context)->keymap_.assign(static_cast<const UINT8*>(data),
                                                               static_cast<const UINT8*>(data) + length);
  }
  // What the key at the US position of usage types through the chosen key map.
  std::string Type(UINT32 usage) {
    EFIKeyLayout layout{keymap_.data(), keymap_.size()};
    CHAR16 out[8] = {};
    UINTN length = 0;
    if (EFIConvertSingleVirtualKeyCode(&layout, UIVirtualKeyForUsage(usage, 46), 0, 46, out, 8, &length) != 0) {
      return "<fails>";
    }
    return std::string(out, out + length);
  }

  TestFirmware fw_;
  MemoryImageCodec codec_{fw_};
  MemoryGraphicsOutput display_{1024, 768, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents firmware_{7};
  DUScreen* screen_ = nullptr;
  std::vector<uint8_t> bytes_;
  Archive* archive_ = nullptr;
  UIFlagPicker* picker_ = nullptr;
  std::vector<UINT8> keymap_;
};

TEST_P(BuiltFlagPickerTest, EveryLayoutHasItsRowsFlagButtonAndKeyMap) {
  ASSERT_EQ(UIFlagPickerCreate(screen_, archive_, DUPoint{40, 40}, Changed, this, &picker_), 0u);
  const INT32 s = INT32(GetParam());
  EXPECT_EQ(picker_->archiveIdentifier, 182u);
  // Five main layouts, the separator and the "others" row with its thirty layouts.
  ASSERT_EQ(picker_->menu->itemCount, 7);
  EXPECT_TRUE(picker_->menu->items[5]->separator);
  EXPECT_EQ(picker_->menu->items[6]->submenu, picker_->othersMenu);
  EXPECT_EQ(picker_->othersMenu->itemCount, 30);
  for (TesselMenu* menu : {picker_->menu, picker_->othersMenu}) {
    for (INT32 i = 0; i < menu->itemCount; ++i) {
      EXPECT_NE(menu->items[i]->image, nullptr);
      EXPECT_NE(menu->items[i]->selectedImage, nullptr);
      if (!menu->items[i]->separator) {
        EXPECT_EQ(menu->items[i]->size.width, 200 * s);
      }
    }
  }
  // Every shared menu picture was found.
  std::string log = CapturedLog();
  EXPECT_EQ(log.find("Impossible to find"), std::string::npos) << log;
  EXPECT_NE(picker_->resources.tick.pixels, nullptr);
  for (const TesselMenuPicture& shadow : picker_->resources.shadow) EXPECT_NE(shadow.pixels, nullptr);
  EXPECT_EQ(picker_->button->frame.width, 32 * s);
  EXPECT_EQ(picker_->button->frame.height, 23 * s);
  // The first layout is U.S.; every "others" layout installs a key map that types.
  EXPECT_EQ(Type(0x1C), "y");
  for (INT32 i = 0; i < picker_->othersMenu->itemCount; ++i) {
    TesselMenuItem* item = picker_->othersMenu->items[i];
    keymap_.clear();
    item->action(item);
    ASSERT_FALSE(keymap_.empty()) << i;
    EXPECT_NE(Type(0x04), "<fails>") << i;
  }
  // German (the fourth main layout) swaps y and z.
  picker_->menu->items[3 + 30]->action(picker_->menu->items[3 + 30]);
  EXPECT_EQ(Type(0x1C), "z");
}

INSTANTIATE_TEST_SUITE_P(Scales, BuiltFlagPickerTest, ::testing::Values(1u, 2u),
                         [](const auto& info) { return "x" + std::to_string(info.param); });

}  // namespace
