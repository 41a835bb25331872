#include <gtest/gtest.h>

#include <vector>

#include "efi/protocols/tarn_key_state.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_input_devices.h"
#include "testfw/memory_key_state.h"
#include "ui/event_protocol.h"

namespace {

struct Seen {
  uint32_t type;
  uint64_t kind;  // pointer events: the kind; key events: the key code
  uint32_t modifiers;
  int32_t x, y;
};

struct Collector {
  std::vector<Seen> events;
  TarnEventProtocol* protocol = nullptr;
  TarnEventHandle late = nullptr;  // registered from inside a dispatch
  Collector* late_collector = nullptr;
};

void EFIAPI Collect(TarnEventRecord* event, void* context) {
  auto* c = static_cast<Collector*>(context);
  uint64_t kind = event->Data;
  if (event->Type == kTarnEventKeyPressed) kind = reinterpret_cast<TarnEventKeyData*>(event->Data)->KeyCode;
  c->events.push_back({event->Type, kind, event->Modifiers, event->Position.X, event->Position.Y});
  if (c->late_collector && !c->late) {
    EXPECT_EQ(c->protocol->RegisterHandler(kTarnEventAll, Collect, &c->late, c->late_collector), EFI_SUCCESS);
  }
}

void AdvanceMs(TestFirmware& fw, int ms) {
  for (int i = 0; i < ms; ++i) fw.Advance100ns(10000);
}

std::vector<uint64_t> Kinds(const std::vector<Seen>& events, uint32_t type) {
  std::vector<uint64_t> out;
  for (const Seen& e : events) {
    if (e.type == type) out.push_back(e.kind);
  }
  return out;
}

TEST(EventProtocol, ARecentFirmwareInstanceIsKeptAndDeliversItsEvents) {
  TestFirmware fw;
  MemoryTarnEvents firmware(7);
  firmware.Install();
  ASSERT_EQ(InstallTarnEventProtocol(fw.ImageHandle()), EFI_SUCCESS);
  TarnEventProtocol* protocol = nullptr;
  ASSERT_EQ(ObtainCurrentTarnEventProtocol(&protocol), EFI_SUCCESS);
  EXPECT_EQ(protocol, firmware.Protocol());
  Collector c;
  TarnEventHandle handle = nullptr;
  ASSERT_EQ(protocol->RegisterHandler(kTarnEventKeyPressed, Collect, &handle, &c), EFI_SUCCESS);
  TarnEventKeyData key{0, 1, u'a', 0x7004};
  firmware.Fire(kTarnEventKeyPressed, reinterpret_cast<uint64_t>(&key));
  firmware.Fire(kTarnEventPointerMoved, kTarnPointerMove);
  ASSERT_EQ(c.events.size(), 1u);
  EXPECT_EQ(c.events[0].kind, 0x7004u);
  EXPECT_EQ(protocol->UnregisterHandler(handle), EFI_SUCCESS);
  RemoveTarnEventProtocol();
}

TEST(EventProtocol, WithoutAnyFirmwareInstanceInstallingFailsButTheBuiltInOneIsThere) {
  TestFirmware fw;
  EXPECT_EQ(InstallTarnEventProtocol(fw.ImageHandle()), EFI_NOT_FOUND);
  TarnEventProtocol* protocol = nullptr;
  ASSERT_EQ(ObtainCurrentTarnEventProtocol(&protocol), EFI_SUCCESS);
  EXPECT_EQ(protocol->Revision, 7u);
  TarnEventHandle handle = nullptr;
  Collector c;
  EXPECT_EQ(protocol->RegisterHandler(0, Collect, &handle, &c), EFI_INVALID_PARAMETER);
  EXPECT_EQ(protocol->RegisterHandler(1, nullptr, &handle, &c), EFI_INVALID_PARAMETER);
  EXPECT_EQ(protocol->RegisterHandler(1, Collect, nullptr, &c), EFI_INVALID_PARAMETER);
  RemoveTarnEventProtocol();
  EXPECT_EQ(fw.LiveEvents(), 0u);
}

// The built-in road: an old firmware instance is replaced; the key-map and pointer are polled.
struct BuiltInFixture : ::testing::Test {
  TestFirmware fw;
  MemoryTarnEvents old_firmware{6};
  MemoryKeyState keys;
  MemoryPointer mouse{1, 1};
  TarnEventProtocol* protocol = nullptr;
  Collector c;
  TarnEventHandle handle = nullptr;

  void SetUp() override {
    old_firmware.Install();
    keys.Install();
    mouse.Install();
    ASSERT_EQ(InstallTarnEventProtocol(fw.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(ObtainCurrentTarnEventProtocol(&protocol), EFI_SUCCESS);
    ASSERT_NE(protocol, old_firmware.Protocol());
    c.protocol = protocol;
    ASSERT_EQ(protocol->RegisterHandler(kTarnEventAll, Collect, &handle, &c), EFI_SUCCESS);
  }
  void TearDown() override {
    RemoveTarnEventProtocol();
    EXPECT_EQ(fw.LiveEvents(), 0u);
    EXPECT_EQ(old_firmware.Registrations(), 0);  // the old instance is never asked
  }
  void Click(int hold_ms) {
    mouse.Press(true, false);
    AdvanceMs(fw, hold_ms);
    mouse.Press(false, false);
    AdvanceMs(fw, 4);
  }
};

TEST_F(BuiltInFixture, KeysArriveOnceWhenPressedAndModifierChangesAsReleaseAndPress) {
  keys.Hold(0, {0x7004});
  AdvanceMs(fw, 50);  // held across five polls: one event
  keys.Hold(0x02, {0x7004, 0x7005});  // left shift
  AdvanceMs(fw, 20);
  keys.Hold(0x10, {});
  AdvanceMs(fw, 20);
  keys.Hold(0, {0x7004});
  AdvanceMs(fw, 20);
  EXPECT_EQ(Kinds(c.events, kTarnEventKeyPressed), (std::vector<uint64_t>{0x7004, 0x7005, 0x7004}));
  std::vector<std::pair<uint32_t, uint32_t>> modifier_events;
  for (const Seen& e : c.events) {
    if (e.type == kTarnEventModifiersPressed || e.type == kTarnEventModifiersReleased) {
      modifier_events.push_back({e.type, e.modifiers});
    }
  }
  EXPECT_EQ(modifier_events, (std::vector<std::pair<uint32_t, uint32_t>>{
                                 {kTarnEventModifiersPressed, 0x02},
                                 {kTarnEventModifiersReleased, 0x02},
                                 {kTarnEventModifiersPressed, 0x10},
                                 {kTarnEventModifiersReleased, 0x10}}));
  // The key event of 0x7005 carries the shift held with it.
  for (const Seen& e : c.events) {
    if (e.type == kTarnEventKeyPressed && e.kind == 0x7005) {
      EXPECT_EQ(e.modifiers, 0x02u);
    }
  }
}

TEST_F(BuiltInFixture, AKeyMapThatReportsMoreKeysThanTheRoomIsHeldToTheRoom) {
  keys.Hold(0, {0x7004, 0x7005});
  keys.ReportCount(5000);
  AdvanceMs(fw, 20);
  keys.ReportCount(0);
  EXPECT_GE(Kinds(c.events, kTarnEventKeyPressed).size(), 2u);
}

TEST_F(BuiltInFixture, ThePointerMovesScaledAndStaysOnTheScreen) {
  mouse.Move(3, 0);  // bit length 2: factor 3
  AdvanceMs(fw, 4);
  ASSERT_FALSE(c.events.empty());
  EXPECT_EQ(c.events.back().type, kTarnEventPointerMoved);
  EXPECT_EQ(c.events.back().x, 400 + 9);
  EXPECT_EQ(c.events.back().y, 300);
  for (int i = 0; i < 10; ++i) {
    mouse.Move(1000, 1000);
    AdvanceMs(fw, 2);
  }
  AdvanceMs(fw, 2);
  EXPECT_EQ(c.events.back().x, 800);  // no display answers: 800 x 600
  EXPECT_EQ(c.events.back().y, 600);
  size_t before = c.events.size();
  mouse.Move(50, 0);  // further right at the edge: no movement, no event
  AdvanceMs(fw, 4);
  EXPECT_EQ(c.events.size(), before);
  mouse.Move(-6000, -6000);
  AdvanceMs(fw, 4);
  EXPECT_EQ(c.events.back().x, 0);
  EXPECT_EQ(c.events.back().y, 0);
}

TEST_F(BuiltInFixture, CursorPositionCapsLockAndNames) {
  TarnEventPosition at{-5, 10000};
  ASSERT_EQ(protocol->SetCursorPosition(&at), EFI_SUCCESS);
  mouse.Move(1, 0);  // factor 2
  AdvanceMs(fw, 4);
  ASSERT_FALSE(c.events.empty());
  EXPECT_EQ(c.events.back().x, 2);
  EXPECT_EQ(c.events.back().y, 600);
  BOOLEAN caps = TRUE;
  ASSERT_EQ(protocol->IsCapsLockOn(&caps), EFI_SUCCESS);
  EXPECT_FALSE(caps);
  keys.Hold(0, {0x7039});
  AdvanceMs(fw, 20);
  ASSERT_EQ(protocol->IsCapsLockOn(&caps), EFI_SUCCESS);
  EXPECT_TRUE(caps);
  EXPECT_EQ(protocol->SetEventName(handle, "collector"), EFI_SUCCESS);
  EXPECT_EQ(protocol->SetEventName(nullptr, "nobody"), EFI_INVALID_PARAMETER);
}

TEST_F(BuiltInFixture, APointerThatArrivesLaterIsPolledToo) {
  MemoryPointer second{2, 2};
  second.Install();  // the arrival notification finds it
  second.Move(8, 0);  // bit length 4: factor 5, 40 counts at 2 per pixel
  AdvanceMs(fw, 4);
  ASSERT_FALSE(c.events.empty());
  EXPECT_EQ(c.events.back().x, 400 + 20);
  EXPECT_GT(second.Reads(), 0);
}

TEST_F(BuiltInFixture, ClicksBecomeDoubleClicksWithin750Milliseconds) {
  Click(40);
  AdvanceMs(fw, 700 - 44);
  Click(40);  // 700 ms after the first click: a double click
  AdvanceMs(fw, 800 - 44);
  Click(40);  // 800 ms later: a single click again
  Click(200);  // held too long: no click at all
  std::vector<uint64_t> kinds = Kinds(c.events, kTarnEventPointerButton);
  const uint64_t p = kTarnPointerPrimary;
  EXPECT_EQ(kinds, (std::vector<uint64_t>{p | kTarnPointerDown, p | kTarnPointerUp, p | kTarnPointerClick,
                                          p | kTarnPointerDown, p | kTarnPointerUp, p | kTarnPointerDoubleClick,
                                          p | kTarnPointerDown, p | kTarnPointerUp, p | kTarnPointerClick,
                                          p | kTarnPointerDown, p | kTarnPointerUp}));
}

TEST_F(BuiltInFixture, TwoSingleClicks800MillisecondsApart) {
  Click(20);
  AdvanceMs(fw, 800 - 24);
  Click(20);
  std::vector<uint64_t> kinds = Kinds(c.events, kTarnEventPointerButton);
  ASSERT_EQ(kinds.size(), 6u);
  EXPECT_EQ(kinds[2], kTarnPointerPrimary | kTarnPointerClick);
  EXPECT_EQ(kinds[5], kTarnPointerPrimary | kTarnPointerClick);
}

TEST_F(BuiltInFixture, AHandlerRegisteredDuringADispatchMissesThatDispatch) {
  Collector late;
  c.late_collector = &late;
  keys.Hold(0, {0x7004});
  AdvanceMs(fw, 12);
  ASSERT_NE(c.late, nullptr);
  EXPECT_TRUE(late.events.empty());
  keys.Hold(0, {0x7004, 0x7006});
  AdvanceMs(fw, 12);
  EXPECT_EQ(Kinds(late.events, kTarnEventKeyPressed), (std::vector<uint64_t>{0x7006}));
  EXPECT_EQ(protocol->UnregisterHandler(c.late), EFI_SUCCESS);
}

TEST_F(BuiltInFixture, MasksSelectEventsAndTheLastUnregistrationStopsPolling) {
  Collector keys_only;
  TarnEventHandle second = nullptr;
  ASSERT_EQ(protocol->RegisterHandler(kTarnEventKeyPressed, Collect, &second, &keys_only), EFI_SUCCESS);
  mouse.Move(5, 5);
  keys.Hold(0, {0x7010});
  AdvanceMs(fw, 12);
  ASSERT_EQ(keys_only.events.size(), 1u);
  EXPECT_EQ(keys_only.events[0].kind, 0x7010u);
  EXPECT_EQ(protocol->UnregisterHandler(second), EFI_SUCCESS);
  EXPECT_EQ(protocol->UnregisterHandler(second), EFI_INVALID_PARAMETER);
  EXPECT_EQ(protocol->UnregisterHandler(handle), EFI_SUCCESS);
  int reads = mouse.Reads();
  AdvanceMs(fw, 20);
  EXPECT_EQ(mouse.Reads(), reads);
  ASSERT_EQ(protocol->RegisterHandler(kTarnEventAll, Collect, &handle, &c), EFI_SUCCESS);  // polling again
  AdvanceMs(fw, 4);
  EXPECT_GT(mouse.Reads(), reads);
}

}  // namespace
