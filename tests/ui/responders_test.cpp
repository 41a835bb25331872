#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "draw/display.h"
#include "draw/screen.h"
#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "ui/event_protocol.h"
#include "ui/responders.h"
#include "ui/run_loop.h"
#include "ui/run_loop_screen.h"

namespace {

struct Delivery {
  std::vector<std::string>* order;
  std::string name;
  bool consume = false;
  DUScreen* screen = nullptr;
  bool unregister_self = false;
  bool remove_self = false;
};

BOOLEAN Respond(DUView* view, TarnEventRecord*, void* context) {
  auto* d = static_cast<Delivery*>(context);
  d->order->push_back(d->name);
  if (d->unregister_self) DUScreenUnregisterResponder(d->screen, view);
  if (d->remove_self) DUScreenRemoveView(d->screen, view);
  return d->consume;
}

class ResponderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    firmware_.Install();  // the firmware's own instance (revision 7): events come straight from Fire
    ASSERT_EQ(InstallTarnEventProtocol(fw_.ImageHandle()), EFI_SUCCESS);
    ASSERT_EQ(DUInitialize(), EFI_SUCCESS);
    ASSERT_EQ(DUScreenCreate(DUColorMake(0, 0, 0, 0), &screen_), EFI_SUCCESS);
  }
  void TearDown() override {
    if (screen_) {
      EXPECT_EQ(DUScreenDestroy(screen_), EFI_SUCCESS);
    }
    EXPECT_EQ(firmware_.LiveHandlers(), 0u);
    RemoveTarnEventProtocol();
    EXPECT_EQ(TrackedAllocationCount(), 0u);
  }
  DUView* View(UINT32 z) {
    DUView* view = nullptr;
    EXPECT_EQ(DUViewCreate(DURectMake(0, 0, 4, 4), &view), EFI_SUCCESS);
    EXPECT_EQ(DUViewSetZOrder(view, z), EFI_SUCCESS);
    EXPECT_EQ(DUScreenAddView(screen_, view), EFI_SUCCESS);
    return view;
  }
  Delivery* D(const std::string& name) {
    deliveries_.push_back(Delivery{&order_, name, false, screen_});
    return &deliveries_.back();
  }

  TestFirmware fw_;
  MemoryGraphicsOutput display_{40, 30, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents firmware_{7};
  DUScreen* screen_ = nullptr;
  std::vector<std::string> order_;
  std::deque<Delivery> deliveries_;
};

TEST_F(ResponderTest, TopmostFirstEqualZOrdersInRegistrationOrder) {
  DUView* first = View(5000);
  DUView* second = View(5000);
  DUView* top = View(6000);
  DUView* keys_only = View(9000);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, first, kTarnEventAll, Respond, D("first")), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, second, kTarnEventAll, Respond, D("second")), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, top, kTarnEventAll, Respond, D("top")), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, keys_only, kTarnEventKeyPressed, Respond, D("keys")), EFI_SUCCESS);
  EXPECT_EQ(firmware_.LiveHandlers(), 1u);  // one dispatcher for the screen
  firmware_.Fire(kTarnEventPointerMoved, kTarnPointerMove);
  EXPECT_EQ(order_, (std::vector<std::string>{"top", "first", "second"}));
}

TEST_F(ResponderTest, AConsumingCallbackStopsDeliveryAndHiddenViewsGetNothing) {
  DUView* low = View(2000);
  DUView* middle = View(3000);
  DUView* hidden = View(4000);
  DUView* clear = View(4500);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, low, kTarnEventAll, Respond, D("low")), EFI_SUCCESS);
  Delivery* m = D("middle");
  m->consume = true;
  ASSERT_EQ(DUScreenRegisterResponder(screen_, middle, kTarnEventAll, Respond, m), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, hidden, kTarnEventAll, Respond, D("hidden")), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, clear, kTarnEventAll, Respond, D("clear")), EFI_SUCCESS);
  ASSERT_EQ(DUViewSetVisible(hidden, FALSE), EFI_SUCCESS);
  ASSERT_EQ(DUViewSetTransparency(clear, 255), EFI_SUCCESS);
  firmware_.Fire(kTarnEventKeyPressed, 0);
  EXPECT_EQ(order_, (std::vector<std::string>{"middle"}));
}

TEST_F(ResponderTest, TheLastUnregistrationDropsTheScreensRegistrationAndTheNextRenewsIt) {
  DUView* a = View(5000);
  DUView* b = View(5000);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, a, 1, Respond, D("a")), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, b, 1, Respond, D("b")), EFI_SUCCESS);
  EXPECT_EQ(DUScreenUnregisterResponder(screen_, a), EFI_SUCCESS);
  EXPECT_EQ(firmware_.LiveHandlers(), 1u);
  EXPECT_EQ(DUScreenUnregisterResponder(screen_, a), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUScreenUnregisterResponder(screen_, b), EFI_SUCCESS);
  EXPECT_EQ(firmware_.LiveHandlers(), 0u);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, a, 1, Respond, D("a again")), EFI_SUCCESS);
  EXPECT_EQ(firmware_.LiveHandlers(), 1u);
  EXPECT_EQ(firmware_.Registrations(), 2);
  firmware_.Fire(1, 1);
  EXPECT_EQ(order_, (std::vector<std::string>{"a again"}));
}

TEST_F(ResponderTest, CallbacksMayUnregisterOrRemoveTheirOwnViewMidDelivery) {
  DUView* top = View(7000);
  DUView* below = View(6000);
  DUView* bottom = View(1000);
  Delivery* t = D("top");
  t->unregister_self = true;
  Delivery* b = D("below");
  b->remove_self = true;
  ASSERT_EQ(DUScreenRegisterResponder(screen_, top, kTarnEventAll, Respond, t), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, below, kTarnEventAll, Respond, b), EFI_SUCCESS);
  ASSERT_EQ(DUScreenRegisterResponder(screen_, bottom, kTarnEventAll, Respond, D("bottom")), EFI_SUCCESS);
  firmware_.Fire(1, 1);
  firmware_.Fire(1, 1);
  EXPECT_EQ(order_, (std::vector<std::string>{"top", "below", "bottom", "bottom"}));
}

TEST_F(ResponderTest, ArgumentsAreChecked) {
  DUView* view = View(5000);
  DUView* loose = nullptr;
  ASSERT_EQ(DUViewCreate(DURectMake(0, 0, 2, 2), &loose), EFI_SUCCESS);
  EXPECT_EQ(DUScreenRegisterResponder(nullptr, view, 1, Respond, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUScreenRegisterResponder(screen_, loose, 1, Respond, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUScreenRegisterResponder(screen_, view, 1, nullptr, nullptr), EFI_INVALID_PARAMETER);
  EXPECT_EQ(DUScreenRegisterResponder(screen_, view, 0, Respond, nullptr), EFI_UNSUPPORTED);
  EXPECT_EQ(DUScreenUnregisterResponder(screen_, view), EFI_INVALID_PARAMETER);
  DUViewDestroy(loose);
}

TEST_F(ResponderTest, ADeferredDrawPaintsTheScreenFromTheRunLoop) {
  DUView* view = View(5000);
  for (int i = 0; i < 16; ++i) view->pixels[i] = DUColorMake(200, 0, 0, 0);
  EXPECT_EQ(RunLoopScheduleScreenDraw(screen_), 0);
  EXPECT_TRUE(display_.Transfers().empty());
  RunLoopExecuteDeferredFunc([](RunLoop*, void*, UINTN) -> EFI_STATUS { return RunLoopExit() ? 1 : 0; }, nullptr, 0,
                             "exit");
  EXPECT_EQ(RunLoopRun(), 0);
  EXPECT_FALSE(display_.Transfers().empty());
  EXPECT_EQ(display_.Pixel(1, 1), DUColorMake(200, 0, 0, 0));
  display_.ClearTransfers();
  DUViewSetNeedsDisplay(view);
  EXPECT_EQ(SleepFunnel(screen_, 5), 0);  // draws once, then waits
  EXPECT_FALSE(display_.Transfers().empty());
}

}  // namespace
