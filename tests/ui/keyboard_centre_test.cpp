#include "ui/keyboard_centre.h"

#include <string>
#include <vector>

#include "tests/ui/widget_fixture.h"

namespace {

struct Call {
  int slot;
  UINT16 modifiers;
  UINT16 key_code;
  bool operator==(const Call&) const = default;
};
std::vector<Call>* gCalls;

template <int kSlot>
void Record(KeyboardCenter*, KeyboardCenterKeyInfo info) {
  gCalls->push_back(Call{kSlot, info.modifiers, info.key_code});
}

template <int... kSlots>
void InstallAll(KeyboardCenterAction* actions, std::integer_sequence<int, kSlots...>) {
  ((actions[kSlots] = Record<kSlots>), ...);
}

class KeyboardCentreTest : public WidgetFixture {
 protected:
  void SetUp() override {
    WidgetFixture::SetUp();
    gCalls = &calls_;
    ASSERT_EQ(KeyboardCenterCreate(&centre_, this), 0u);
    InstallAll(KeyboardCenterActions(centre_), std::make_integer_sequence<int, 14>());
    ASSERT_EQ(KeyboardCenterStart(centre_), 0u);
  }
  void TearDown() override {
    KeyboardCenterDestroy(centre_);
    WidgetFixture::TearDown();
  }
  // The slots called for one key press.
  std::vector<int> Press(UINT16 key_code, UINT16 modifiers = 0) {
    calls_.clear();
    Key(key_code, 0, modifiers);
    RunDeferred();
    std::vector<int> slots;
    for (const Call& c : calls_) slots.push_back(c.slot);
    return slots;
  }
  KeyboardCenter* centre_ = nullptr;
  std::vector<Call> calls_;
};

struct KeyCase {
  UINT16 key_code;
  UINT16 modifiers;
  int slot;
};

TEST_F(KeyboardCentreTest, EveryKeyGoesToItsSlotThenToTheAfterKeySlot) {
  const UINT16 all = 0x01 | 0x02 | 0x04 | 0x08, all_right = 0x10 | 0x20 | 0x40 | 0x80;
  for (KeyCase c : {KeyCase{0x7052, 0, 0}, {0x7051, 0, 1}, {0x7050, 0, 2}, {0x704F, 0, 3}, {0x7029, 0, 4},
                    {0x7028, 0, 5}, {0x7058, 0, 5}, {0x702B, 0x02, 6}, {0x703E, 0x08, 7}, {0x703E, 0x80, 7},
                    {0x703E, 0, 12}, {0x703E, 0x01, 12}, {0x703A, all, 8}, {0x703A, all_right, 8},
                    {0x703B, all, 9}, {0x703B, all & ~0x04, 12}, {0x703A, 0x08, 12}, {0x702C, 0x08, 10},
                    {0x702C, 0, 12}, {0x7004, 0, 12}, {0x703C, all, 12}}) {
    SCOPED_TRACE(testing::Message() << std::hex << c.key_code << " mods " << c.modifiers);
    EXPECT_EQ(Press(c.key_code, c.modifiers), (std::vector<int>{c.slot, 13}));
    EXPECT_EQ(calls_[0], (Call{c.slot, c.modifiers, c.key_code}));
    EXPECT_EQ(centre_->key_code, c.key_code);
    EXPECT_EQ(centre_->modifiers, c.modifiers);
    EXPECT_EQ(centre_->key_down, 1);
  }
}

TEST_F(KeyboardCentreTest, ModifierChangesGoToSlot11WithTheModifiersTwice) {
  events_.Fire(kTarnEventModifiersPressed, 0, 0x02);
  EXPECT_EQ(centre_->key_down, 1);
  EXPECT_EQ(centre_->key_code, 0xFFFF);
  events_.Fire(kTarnEventModifiersReleased, 0, 0);
  EXPECT_EQ(centre_->key_down, 0);
  RunDeferred();
  EXPECT_EQ(calls_, (std::vector<Call>{{11, 0x02, 0x02}, {11, 0, 0}}));
  EXPECT_EQ(KeyboardCenterKeyEventCount(centre_), 2u);
}

TEST_F(KeyboardCentreTest, ClearedActionsCallNothingButEventsAreCounted) {
  ASSERT_EQ(KeyboardCenterClearActions(centre_), 0u);
  EXPECT_TRUE(Press(0x7028).empty());
  EXPECT_EQ(KeyboardCenterKeyEventCount(centre_), 1u);
  KeyboardCenterActions(centre_)[kKeyActionAfterKey] = Record<13>;
  EXPECT_EQ(Press(0x7028), (std::vector<int>{13}));
}

TEST_F(KeyboardCentreTest, StartStopRefusalsAndNullCentre) {
  EXPECT_EQ(KeyboardCenterStart(centre_), 1u);
  EXPECT_NE(CapturedLog().find("keyboard center was already started?"), std::string::npos);
  ASSERT_EQ(KeyboardCenterStop(centre_), 0u);
  EXPECT_EQ(events_.LiveHandlers(), 0u);
  EXPECT_TRUE(Press(0x7028).empty());  // stopped: nothing arrives
  EXPECT_EQ(KeyboardCenterStop(centre_), 1u);
  EXPECT_NE(CapturedLog().find("keyboard center was not started?"), std::string::npos);
  EXPECT_EQ(KeyboardCenterCreate(nullptr, nullptr), 1u);
  EXPECT_EQ(KeyboardCenterActions(nullptr), nullptr);
  EXPECT_EQ(KeyboardCenterClearActions(nullptr), 1u);
  EXPECT_NE(CapturedLog().find("kcenter is NULL"), std::string::npos);
}

}  // namespace
