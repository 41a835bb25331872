#include "tests/login/login_fixture.h"

#include "memory/memory.h"
#include "tests/ui/ui_test_support.h"
#include "tools/lib/uchr_writer.h"
#include "tools/lib/uchr_xkb.h"
#include "output/console_mode.h"

namespace login_test {
namespace {

LoginFixture* gFixture = nullptr;

std::string Pic(int w, int h, DUPixel colour = DUColorMake(90, 90, 90, 0)) { return ToyPicture(w, h, colour); }

std::string Int32(uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); }

BOOLEAN Verify(void*, const LodestoreUser* user, const CHAR16* passphrase, UnlockRecord*) {
  LoginFixture* f = gFixture;
  std::u16string typed(passphrase);
  f->verified_.push_back({user ? user->ident : "", typed, f->fw_.Now100ns()});
  for (const TestUser& u : f->users_) {
    if (&u.user == user) return typed == std::u16string(u.passphrase.begin(), u.passphrase.end());
  }
  return FALSE;
}

EFI_STATUS StartRecovery(void*) {
  ++gFixture->recovery_requests_;
  return EFI_SUCCESS;
}

void EFIAPI Ticker(EFI_EVENT, void* context) { static_cast<LoginFixture*>(context)->Tick(); }

std::string UserArchive(bool hint) {
  std::map<std::string, std::string> entries = {
      {"avatar.png", Pic(64, 64, DUColorMake(200, 10, 10, 0))},
      {"avatar_pressed.png", Pic(64, 64, DUColorMake(150, 10, 10, 0))},
      {"avatar_sel.png", Pic(64, 64, DUColorMake(250, 10, 10, 0))},
      {"avatar_sel_pressed.png", Pic(64, 64, DUColorMake(100, 10, 10, 0))},
      {"avatar_loggedin.png", Pic(64, 64, DUColorMake(10, 200, 10, 0))},
      {"avatar_loggedin_pressed.png", Pic(64, 64)},
      {"avatar_sel_loggedin.png", Pic(64, 64)},
      {"avatar_sel_loggedin_pressed.png", Pic(64, 64)},
      {"avatar_back_up.png", Pic(16, 16)},
      {"avatar_back_down.png", Pic(16, 16)},
  };
  if (hint) entries["password_hint.png"] = Pic(100, 20);
  std::vector<uint8_t> bytes = ArchiveOf(entries);
  return std::string(bytes.begin(), bytes.end());
}

}  // namespace

std::vector<uint8_t> ArchiveOf(const std::map<std::string, std::string>& entries) {
  std::vector<RawRecord> records;
  for (const auto& [name, data] : entries) records.push_back(RawRecord{name, data});
  return RawArchive(records);
}

LoginFixture::LoginFixture() {
  gFixture = this;
  CaptureLog();
  events_.Install();
  (void)InitConsoleMode();
  fs_.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
  fs_.Protocol()->OpenVolume(fs_.Protocol(), &root_);
  UchrLayout layout;
  std::string error;
  EXPECT_TRUE(CompileUchrFromXkb(UchrXkbSource{"us", ""}, &layout, &error)) << error;
  EXPECT_TRUE(WriteUchr(layout, &layout_, &error)) << error;
  const std::string button = Pic(16, 16), frame = Pic(150, 24), wide = Pic(240, 24);
  loginui_ = {
      {"loginui_shutdown_up.png", button}, {"loginui_shutdown_down.png", button},
      {"loginui_restart_up.png", button}, {"loginui_restart_down.png", button},
      {"loginui_password_hint_up.png", button}, {"loginui_password_hint_down.png", button},
      {"loginui_goButton.png", button}, {"loginui_goButtonPressed.png", button},
      {"loginui_goBackButton.png", button}, {"loginui_goBackButtonPressed.png", button},
      {"loginui_keyboard_layout.uchr", std::string(layout_.begin(), layout_.end())},
      {"loginui_name_field.png", frame}, {"loginui_name_field_focus.png", frame},
      {"loginui_password_field.png", frame}, {"loginui_password_field_focus.png", frame},
      {"loginui_masterpassword_field.png", frame}, {"loginui_masterpassword_field_focus.png", frame},
      {"loginui_recovery_field.png", wide}, {"loginui_recovery_field_focus.png", wide},
      {"loginui_name_field_placeholder.png", Pic(60, 17)},
      {"loginui_password_field_placeholder.png", Pic(60, 17)},
      {"loginui_recovery_field_placeholder.png", Pic(60, 17)},
      {"loginui_passdot.png", Pic(7, 7)}, {"loginui_password_capslock.png", Pic(10, 10)},
      {"loginui_text_selection_color.png", Pic(1, 17)},
      {"loginui_next.png", Pic(20, 20)}, {"loginui_nextPressed.png", Pic(20, 20)},
      {"loginui_previous.png", Pic(20, 20)}, {"loginui_previousPressed.png", Pic(20, 20)},
      {"loginui_magicPocketShadow_left.png", Pic(10, 40)}, {"loginui_magicPocketShadow_right.png", Pic(10, 40)},
      {"loginui_popover_top.png", Pic(200, 30)}, {"loginui_popover_tile.png", Pic(200, 10)},
      {"loginui_popover_bottom.png", Pic(200, 60)}, {"loginui_hint_divider_line.png", Pic(180, 2)},
      {"loginui_popover_uparrow.png", Pic(26, 13)},
      {"loginui_popmsg_passhint_title.png", Pic(120, 14)}, {"loginui_popmsg_if_you_forgot_title.png", Pic(120, 14)},
      {"loginui_popmsg_reset_with_master_up.png", Pic(150, 20)},
      {"loginui_popmsg_reset_with_master_down.png", Pic(150, 20)},
      {"loginui_popmsg_reset_with_recovery_up.png", Pic(150, 20)},
      {"loginui_popmsg_reset_with_recovery_down.png", Pic(150, 20)},
      {"loginui_reset_with_nimbra_up.png", Pic(150, 20)}, {"loginui_reset_with_nimbra_down.png", Pic(150, 20)},
      {"loginui_master_popmsg_title.png", Pic(120, 14)}, {"loginui_recovery_popmsg_title.png", Pic(120, 14)},
      {"loginui_popmsg_guest_info_msg.png", Pic(150, 30)},
      {"loginui_popmsg_guest_info_button_up.png", Pic(150, 20)},
      {"loginui_popmsg_guest_info_button_down.png", Pic(150, 20)},
      {"loginui_bootprogressbar.png", Pic(200, 8)},
      {"loginui_background.png", Pic(80, 60, DUColorMake(20, 40, 60, 0))},
  };
}

LoginFixture::~LoginFixture() {
  if (ui_) Destroy();
  // The window gave back every block, handler and event it took.
  if (!leaks_expected_) {
    EXPECT_EQ(TrackedAllocationCount(), 0u);
    EXPECT_EQ(events_.LiveHandlers(), 0u);
  }
  if (ticker_) gBS->CloseEvent(ticker_);
  if (root_) root_->Close(root_);
  gFixture = nullptr;
}

LodestoreUser* LoginFixture::AddUser(const std::string& ident, const std::vector<std::string>& names,
                                     const std::string& passphrase, bool hint, UINT32 type) {
  TestUser& u = users_.emplace_back();
  u.ident = ident;
  u.names = names;
  u.passphrase = passphrase;
  std::string archive = UserArchive(hint);
  u.archive.assign(archive.begin(), archive.end());
  for (const std::string& n : u.names) {
    u.name_records.push_back(LodestoreUserName{reinterpret_cast<const UINT8*>(n.data()), UINT32(n.size())});
  }
  u.user.ident = u.ident.c_str();
  u.user.name_count = UINT32(u.name_records.size());
  u.user.names = u.name_records.empty() ? nullptr : u.name_records.data();
  u.user.picture = u.archive.data();
  u.user.picture_length = UINT32(u.archive.size());
  u.user.standard = type == kLodestoreUserPanel;
  u.user.type = type;
  if (type == kLodestoreUserPanel) panel_.push_back(&u.user);
  return &u.user;
}

LodestoreUser* LoginFixture::AddSpecial(UINT32 slot, const std::string& ident, const std::string& passphrase) {
  UINT32 type = slot == kSlotMaster ? kLodestoreUserMaster : slot == kSlotRecoveryKey ? kLodestoreUserRecoveryKey
                                                                                      : kLodestoreUserDisk;
  LodestoreUser* user = AddUser(ident, {}, passphrase, false, type);
  special_[slot] = user;
  return user;
}

void LoginFixture::At(uint64_t ms, std::function<void()> action) {
  script_.emplace(fw_.Now100ns() + ms * 10000, std::move(action));
  if (ticker_) return;
  ASSERT_EQ(gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Ticker, this, &ticker_), EFI_SUCCESS);
  ASSERT_EQ(gBS->SetTimer(ticker_, TimerPeriodic, 10000), EFI_SUCCESS);
}

void LoginFixture::Tick() {
  while (!script_.empty() && script_.begin()->first <= fw_.Now100ns()) {
    std::function<void()> action = std::move(script_.begin()->second);
    script_.erase(script_.begin());
    action();
  }
}

void LoginFixture::Key(UINT16 key_code, UINT16 modifiers) {
  TarnEventKeyData key{modifiers, 1, 0, key_code};
  events_.Fire(kTarnEventKeyPressed, UINT64(reinterpret_cast<UINTN>(&key)), modifiers);
}

uint64_t LoginFixture::Type(uint64_t ms, const std::string& text) {
  for (char c : text) {
    UINT16 code = 0, modifiers = 0;
    if (c >= 'a' && c <= 'z') code = UINT16(0x7004 + (c - 'a'));
    else if (c >= 'A' && c <= 'Z') code = UINT16(0x7004 + (c - 'A')), modifiers = kShift;
    else if (c >= '1' && c <= '9') code = UINT16(0x701E + (c - '1'));
    else if (c == '0') code = 0x7027;
    else if (c == ' ') code = 0x702C;
    else if (c == '-') code = 0x702D;
    else ADD_FAILURE() << "no key for " << c;
    At(ms, [this, code, modifiers] { Key(code, modifiers); });
    ms += 60;
  }
  return ms;
}

void LoginFixture::PointerMove(INT32 x, INT32 y) {
  events_.Fire(kTarnEventPointerMoved, kTarnPointerMove, 0, TarnEventPosition{x, y});
}

EFI_STATUS LoginFixture::Initialize(UINT32 flags) {
  if (write_loginui_) {
    if (show_guest_) {
      loginui_["preferences.efires"] = [] {
        std::vector<uint8_t> p = ArchiveOf({{"preferences_showGuest.int32", Int32(1)}});
        return std::string(p.begin(), p.end());
      }();
    }
    fs_.AddFile("\\usr\\standalone\\i386\\EfiLoginUI\\loginui.efires", ArchiveOf(loginui_));
  }
  fs_.AddFile("\\usr\\standalone\\i386\\EfiLoginUI\\unknown_userUI.efires",
              ArchiveOf({{"avatar.png", Pic(64, 64)}, {"avatar_pressed.png", Pic(64, 64)},
                         {"avatar_sel.png", Pic(64, 64)}, {"avatar_sel_pressed.png", Pic(64, 64)}}));
  fs_.AddFile("\\usr\\standalone\\i386\\EfiLoginUI\\guest_userUI.efires",
              ArchiveOf({{"avatar.png", Pic(64, 64, DUColorMake(0, 0, 200, 0))}}));
  LoginUICallbacks callbacks{Verify, nullptr, StartRecovery, nullptr};
  return FDELoginUIInitializeUsers(&ui_, fw_.ImageHandle(), fw_.SystemTable(), root_, UINT32(panel_.size()),
                                   panel_.data(), special_, flags, &callbacks);
}

EFI_STATUS LoginFixture::Run() {
  // A window that never ends would hang the test: give up after ten simulated minutes.
  At(600000, [] {
    ADD_FAILURE() << "the window did not end";
    RunLoopExit();
  });
  return FDELoginUIRunLoop(ui_, &exit_);
}

void LoginFixture::Destroy() {
  EXPECT_EQ(FDELoginUIDestroy(ui_), EFI_SUCCESS);
  ui_ = nullptr;
}

}  // namespace login_test
