// The window end to end on the test firmware: keys typed on the simulated clock, the exit
// codes, the failed-attempt rules and the canaries.
#include "tests/login/login_fixture.h"

#include "draw/display.h"
#include "login/window_internal.h"
#include "tests/ui/ui_test_support.h"
#include "ui/carousel.h"
#include "ui/popover.h"

namespace login_test {
namespace {

constexpr uint64_t kReady = 2500;  // the logo's 1.5 s and the fades are over

class Window : public LoginFixture {
 protected:
  LoginWindow* lw() { return ui_->window; }
  // Presses and releases the primary button at a point of the screen.
  void Click(INT32 x, INT32 y) {
    events_.Fire(kTarnEventPointerButton, kTarnPointerDown | kTarnPointerPrimary, 0, TarnEventPosition{x, y});
    events_.Fire(kTarnEventPointerButton, kTarnPointerUp | kTarnPointerPrimary, 0, TarnEventPosition{x, y});
  }
  void ClickView(DUView* view) {
    ASSERT_NE(view, nullptr);
    Click(view->frame.x + view->frame.width / 2, view->frame.y + view->frame.height / 2);
  }
  // Clicks item of the pop-up that is open at that moment.
  void ClickPopoverItem(INT32 item) {
    DUView* popover = lw()->hint_view;
    ASSERT_NE(popover, nullptr);
    DURect r = UIPopoverItemRect(popover, item);
    Click(popover->frame.x + r.x + r.width / 2, popover->frame.y + r.y + r.height / 2);
  }
  // The pop-up's arrow: on its top edge (overlapping it by a pixel), centred offset right of
  // the pop-up's centre, drawn over it.
  void ExpectArrow(INT32 offset) {
    DUView* popover = lw()->hint_view;
    DUView* arrow = lw()->hint_arrow;
    ASSERT_NE(popover, nullptr);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(arrow->screen, popover->screen);
    EXPECT_TRUE(arrow->visible);
    EXPECT_EQ(arrow->transparency, 0);  // faded in with the pop-up
    EXPECT_EQ(arrow->frame.width, 26 * INT32(lw()->scale));
    EXPECT_EQ(arrow->frame.height, 13 * INT32(lw()->scale));
    EXPECT_EQ(arrow->frame.x + arrow->frame.width / 2, popover->frame.x + popover->frame.width / 2 + offset);
    EXPECT_EQ(arrow->frame.y + arrow->frame.height, popover->frame.y + INT32(lw()->scale));
    EXPECT_GE(arrow->z_order, popover->z_order);
  }
  // One attempt: the text and return.
  uint64_t Attempt(uint64_t ms, const std::string& text) {
    ms = Type(ms, text);
    At(ms, [this] { Key(kKeyReturn); });
    return ms + 60;
  }
};

TEST_F(Window, OneUserTypesThePassphraseAndUnlocks) {
  AddUser("anne", {"Anne"}, "secret");
  Attempt(kReady, "secret");
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS) << CapturedLog();
  EXPECT_EQ(exit_.exit_code, kLoginExitPassphrase);
  EXPECT_EQ(ExitUser(), "anne");
  EXPECT_EQ(ExitReset(), "");
  ASSERT_EQ(verified_.size(), 1u);
  EXPECT_EQ(verified_[0].passphrase, u"secret");
  EXPECT_FALSE(display_.Transfers().empty());
}

TEST_F(Window, AWrongPassphraseShakesAndClearsTheFieldThenTheRightOneUnlocks) {
  AddUser("anne", {"Anne"}, "secret");
  uint64_t t = Attempt(kReady, "wrong");
  At(t + 1500, [this] {
    EXPECT_TRUE(UIPasswordTextFieldIsEmpty(lw()->password.field));
    EXPECT_EQ(lw()->shake.x, 0);
    EXPECT_EQ(lw()->hint_view, nullptr);  // not before the third attempt
  });
  Attempt(t + 2000, "secret");
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
  EXPECT_EQ(exit_.exit_code, kLoginExitPassphrase);
  ASSERT_EQ(verified_.size(), 4u);  // each attempt tries the three renderings until one fits
  EXPECT_EQ(verified_.back().passphrase, u"secret");
}

TEST_F(Window, TheThirdFailedAttemptOpensTheForgotPasswordPopUp) {
  AddUser("anne", {"Anne"}, "secret", /*hint=*/true);
  uint64_t t = kReady;
  for (int attempt = 1; attempt <= 3; ++attempt) {
    t = Attempt(t, "no");
    At(t + 2000, [this, attempt] { EXPECT_EQ(lw()->hint_view != nullptr, attempt == 3) << attempt; });
    t += 2500;
  }
  At(t, [this] { RunLoopExit(); });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
  EXPECT_EQ(exit_.exit_code, kLoginExitNone);
}

// Attempts 4 to 9 are typed at once: each validation runs after the previous one ended, so
// the gaps between the checks are the validations' lengths.
TEST_F(Window, FromTheSixthAttemptTheShakeWaitsHalfASecondLongerEachTime) {
  AddUser("anne", {"Anne"}, "secret");
  uint64_t t = kReady;
  for (int attempt = 1; attempt <= 3; ++attempt) t = Attempt(t, "x") + 3000;
  for (int attempt = 4; attempt <= 9; ++attempt) {
    At(t, [this] { Key(0x701B); });  // 'x'
    At(t + 5, [this] { Key(kKeyReturn); });
    t += 10;
  }
  At(t + 20000, [this] { RunLoopExit(); });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
  // Three renderings of "x" per attempt.
  ASSERT_EQ(verified_.size(), 27u);
  auto check_time = [&](int attempt) { return double(verified_[size_t(attempt - 1) * 3].at_100ns) / 10000.0; };
  double base = check_time(5) - check_time(4);  // no wait after the fourth
  EXPECT_NEAR(check_time(6) - check_time(5), base, 5);         // fifth: none
  EXPECT_NEAR(check_time(7) - check_time(6), base + 500, 5);   // sixth
  EXPECT_NEAR(check_time(8) - check_time(7), base + 1000, 5);  // seventh: 1 s
  EXPECT_NEAR(check_time(9) - check_time(8), base + 1500, 5);  // eighth: 1.5 s
  EXPECT_GE(base, 300);  // the shake: six steps of 50 ms
}

TEST_F(Window, BackOffTable) {
  EXPECT_EQ(LWBackOffMilliseconds(1), 0u);
  EXPECT_EQ(LWBackOffMilliseconds(5), 0u);
  EXPECT_EQ(LWBackOffMilliseconds(6), 500u);
  EXPECT_EQ(LWBackOffMilliseconds(7), 1000u);
  EXPECT_EQ(LWBackOffMilliseconds(8), 1500u);
}

TEST_F(Window, RestartAndShutDownButtons) {
  struct Case {
    const char* name;
    bool restart;
    UINT32 exit_code;
  } cases[] = {{"restart", true, kLoginExitRestart}, {"shut down", false, kLoginExitShutdown}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (ui_) Destroy();
    panel_.clear();
    users_.clear();
    AddUser("anne", {"Anne"}, "secret");
    At(kReady, [this, c] { ClickView(c.restart ? lw()->restart_button : lw()->shutdown_button); });
    ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
    EXPECT_EQ(exit_.exit_code, c.exit_code);
    EXPECT_EQ(exit_.user, nullptr);
  }
}

// The forgot-password pop-up points at the hint button; typing closes pop-up and arrow.
TEST_F(Window, TheForgotPasswordPopUpPointsAtTheHintButtonAndItsArrowGoesWithIt) {
  AddUser("anne", {"Anne"}, "secret", /*hint=*/true);
  uint64_t t = kReady;
  for (int attempt = 1; attempt <= 3; ++attempt) t = Attempt(t, "no") + 2500;
  At(t, [this] {
    const DURect button = lw()->hint_button->frame;
    const DURect frame = lw()->password.focus_frame->frame;
    const INT32 offset = (button.x + button.width / 2) - (frame.x + frame.width / 2);
    EXPECT_GT(offset, 0);  // the button is right of the field
    ExpectArrow(offset);
  });
  At(t + 100, [this] { Key(0x701B); });  // 'x'
  At(t + 300, [this] {
    EXPECT_EQ(lw()->hint_view, nullptr);
    EXPECT_EQ(lw()->hint_arrow, nullptr);
    RunLoopExit();
  });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS) << CapturedLog();
  EXPECT_EQ(exit_.exit_code, kLoginExitNone);
}

TEST_F(Window, ResetWithTheCloudAccountFromTheForgotPasswordPopUp) {
  AddUser("anne", {"Anne"}, "secret");
  uint64_t t = kReady;
  for (int attempt = 1; attempt <= 3; ++attempt) t = Attempt(t, "no") + 2500;
  // Without a hint, master or recovery user: the title, then the reset button.
  At(t, [this] { ClickPopoverItem(1); });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
  EXPECT_EQ(exit_.exit_code, kLoginExitPasswordReset);
}

TEST_F(Window, MasterPasswordUnlocksForTheUserWhoForgot) {
  AddUser("anne", {"Anne"}, "secret");
  AddSpecial(kSlotMaster, "master", "mpw");
  uint64_t t = kReady;
  for (int attempt = 1; attempt <= 3; ++attempt) t = Attempt(t, "no") + 2500;
  At(t, [this] { ClickPopoverItem(1); });  // title, reset with master, reset with recovery...
  At(t + 1500, [this] { EXPECT_EQ(lw()->pane, kLWPaneMaster); });
  Attempt(t + 2000, "mpw");
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS) << CapturedLog();
  EXPECT_EQ(exit_.exit_code, kLoginExitPassphrase);
  EXPECT_EQ(ExitUser(), "master");
  EXPECT_EQ(ExitReset(), "anne");
}

// The field puts in the dashes; the letters the key never uses are corrected before the
// check ('0' -> 'O', '1' -> 'L', 'S' -> '5').
TEST_F(Window, RecoveryKeyUnlocksForTheUserWhoForgot) {
  AddUser("anne", {"Anne"}, "secret");
  AddSpecial(kSlotRecoveryKey, "recovery", "5OLL-AAAA-BBBB-CCCC-DDDD-EEEE");
  uint64_t t = kReady;
  for (int attempt = 1; attempt <= 3; ++attempt) t = Attempt(t, "no") + 2500;
  At(t, [this] { ClickPopoverItem(1); });  // title, reset with the recovery key, reset
  At(t + 1500, [this] {
    EXPECT_EQ(lw()->pane, kLWPaneRecovery);
    EXPECT_TRUE(UIPasswordTextFieldIsFocused(lw()->recovery_key.field));
    // The buttons beside the field make room for the wider recovery-key field.
    const DURect field = lw()->recovery_key.no_focus_frame->frame;
    EXPECT_GE(lw()->hint_button->frame.x, field.x + field.width);
    EXPECT_GE(lw()->go_button->frame.x, field.x + field.width);
    EXPECT_LE(lw()->back_button->frame.x + lw()->back_button->frame.width, field.x);
  });
  Attempt(t + 2000, "S0L1AAAABBBBCCCCDDDDEEEE");
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS) << CapturedLog();
  EXPECT_EQ(exit_.exit_code, kLoginExitPassphrase);
  EXPECT_EQ(ExitUser(), "recovery");
  EXPECT_EQ(ExitReset(), "anne");
  ASSERT_FALSE(verified_.empty());
  EXPECT_EQ(verified_.back().passphrase, u"5OLL-AAAA-BBBB-CCCC-DDDD-EEEE");
}

TEST_F(Window, GuestTileOffersTheGuestPopUp) {
  show_guest_ = true;
  AddUser("anne", {"Anne"}, "secret");
  // Anne, then the guest: the second tile.
  At(kReady, [this] { Key(kKeyRight); });
  At(kReady + 100, [this] { Key(kKeyRight); });
  At(kReady + 200, [this] { Key(kKeyReturn); });
  At(kReady + 3000, [this] {
    EXPECT_EQ(lw()->pane, kLWPaneLogin);
    EXPECT_EQ(lw()->selected_user, lw()->guest_user);
    ExpectArrow(0);  // no hint button: centred
    ClickPopoverItem(1);
  });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS) << CapturedLog();
  EXPECT_EQ(exit_.exit_code, kLoginExitGuest);
}

TEST_F(Window, TypeSelectMatchesTheBeginningOfANameWhateverItsCase) {
  AddUser("b", {"bob"}, "1");
  AddUser("a", {"Alice"}, "2");
  AddUser("c", {"carol"}, "3");
  std::vector<INT32> seen;
  auto look = [this, &seen] { seen.push_back(UICarouselViewState(lw()->carousel)->keyboardIndex); };
  uint64_t t = Type(kReady, "CA");
  At(t, look);
  t = Type(t + 1000, "b");  // the 500 ms pause started a new search
  At(t, look);
  t = Type(t + 1000, "x");
  At(t, look);
  At(t + 1000, [] { RunLoopExit(); });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
  EXPECT_EQ(seen, (std::vector<INT32>{2, 1, -1}));  // Alice, bob, carol
}

TEST_F(Window, HiDPIDoublesTheWindowAndUnlocks) {
  AddUser("anne", {"Anne"}, "secret");
  At(kReady, [this] {
    EXPECT_EQ(lw()->scale, 2u);
    EXPECT_EQ(lw()->password.field->frame.height, 34);
    EXPECT_EQ(lw()->password.field->frame.width, 290);
    EXPECT_EQ(lw()->password.no_focus_frame->frame.width, 300);  // the 150-pixel frame doubled
  });
  Attempt(kReady + 100, "secret");
  ASSERT_EQ(InitializeAndRun(kLoginFlagAlways | kLoginFlagHiDpi), EFI_SUCCESS) << CapturedLog();
  EXPECT_EQ(exit_.exit_code, kLoginExitPassphrase);
  Destroy();
  EXPECT_EQ(DUScaleFactor(), 1u);  // the boot screen draws at its own scale again
}

TEST_F(Window, ThePointerMovesTheCursorByItsHotSpot) {
  AddUser("anne", {"Anne"}, "secret");
  At(kReady, [this] { PointerMove(100, 200); });
  At(kReady + 100, [this] {
    const DUView* cursor = ui_->screen->cursor;
    ASSERT_NE(cursor, nullptr);
    EXPECT_TRUE(cursor->visible);
    EXPECT_EQ(cursor->frame.x, 96);
    EXPECT_EQ(cursor->frame.y, 196);
    RunLoopExit();
  });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
}

TEST_F(Window, ACorruptedCanaryStopsTheRunBeforeAnythingIsDrawnAndDestroyRefuses) {
  AddUser("anne", {"Anne"}, "secret");
  ASSERT_EQ(Initialize(), EFI_SUCCESS);
  size_t transfers = display_.Transfers().size();
  lw()->canary_tail[7] ^= 1;
  EXPECT_NE(FDELoginUIRunLoop(ui_, &exit_), EFI_SUCCESS);
  EXPECT_EQ(display_.Transfers().size(), transfers);
  EXPECT_NE(CapturedLog().find("Login window has no valid canaries. RunLoop will not run"), std::string::npos);
  EXPECT_EQ(LoginWindowDestroy(lw()), 1u);
  EXPECT_NE(CapturedLog().find("Login window has no valid canaries. Destroy operation canceled."), std::string::npos);
  EXPECT_NE(FDELoginUIDestroy(ui_), EFI_SUCCESS);
  ui_ = nullptr;
  leaks_expected_ = true;
}

TEST_F(Window, NoUsersAndNoDiskUserIsAFailure) {
  EXPECT_EQ(Initialize(), EFI_UNSUPPORTED);  // an error the unlock stage sees as one
  EXPECT_NE(CapturedLog().find("We have no users to show (UserCount is 0)"), std::string::npos);
}

TEST_F(Window, WithoutTheWindowsArchiveTheRunFails) {
  write_loginui_ = false;
  AddUser("anne", {"Anne"}, "secret");
  ASSERT_EQ(Initialize(), EFI_SUCCESS);
  EXPECT_TRUE(EFI_ERROR(Run()));
  EXPECT_NE(CapturedLog().find("Impossible to load loginui.efires Archive"), std::string::npos);
}

}  // namespace
}  // namespace login_test
