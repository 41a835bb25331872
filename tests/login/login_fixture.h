// The login window on the test firmware: a fake display, the firmware's input-event
// protocol, a toy picture codec, the window's archives on a memory volume, users with their
// picture archives, and a script of key and pointer events on the simulated clock.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fde/lodestore.h"
#include "login/login_ui.h"
#include "testfw/memory_file_system.h"
#include "testfw/memory_graphics_output.h"
#include "testfw/memory_input_devices.h"
#include "testfw/test_firmware.h"
#include "tests/ui/toy_picture_codec.h"
#include "ui/password_field.h"
#include "ui/run_loop.h"

namespace login_test {

constexpr UINT16 kKeyReturn = 0x7028;
constexpr UINT16 kKeyEscape = 0x7029;
constexpr UINT16 kKeyTab = 0x702B;
constexpr UINT16 kKeyF5 = 0x703E;
constexpr UINT16 kKeyLeft = 0x7050;
constexpr UINT16 kKeyRight = 0x704F;
constexpr UINT16 kCommand = 0x08;  // left command
constexpr UINT16 kShift = 0x02;    // left shift

struct TestUser {
  std::string ident;
  std::vector<std::string> names;
  std::string passphrase;
  std::vector<uint8_t> archive;
  std::vector<LodestoreUserName> name_records;
  LodestoreUser user{};
};

struct VerifyCall {
  std::string ident;     // "" for no user
  std::u16string passphrase;
  uint64_t at_100ns;
};

class LoginFixture : public ::testing::Test {
 public:  // the firmware callbacks of the fixture reach in
  LoginFixture();
  ~LoginFixture() override;

  // A panel user with its own pictures (64 x 64 avatars) and, optionally, a hint picture.
  LodestoreUser* AddUser(const std::string& ident, const std::vector<std::string>& names, const std::string& passphrase,
                         bool hint = false, UINT32 type = kLodestoreUserPanel);
  // A special user (master password, recovery key) that answers to passphrase.
  LodestoreUser* AddSpecial(UINT32 slot, const std::string& ident, const std::string& passphrase);

  // Runs the script at the given simulated time (milliseconds from now).
  void At(uint64_t ms, std::function<void()> action);
  // Key events.
  void Key(UINT16 key_code, UINT16 modifiers = 0);
  // Types text one key per 60 ms from ms on; returns the time after the last key.
  uint64_t Type(uint64_t ms, const std::string& text);
  void PointerMove(INT32 x, INT32 y);

  // Initialise, run and destroy the window; the result of the run and its exit information.
  EFI_STATUS Initialize(UINT32 flags = kLoginFlagAlways);
  EFI_STATUS Run();
  void Destroy();
  EFI_STATUS InitializeAndRun(UINT32 flags = kLoginFlagAlways) {
    EFI_STATUS status = Initialize(flags);
    if (EFI_ERROR(status)) return status;
    return Run();
  }
  std::string ExitUser() const { return exit_.user ? exit_.user->ident : ""; }
  std::string ExitReset() const { return exit_.user_to_reset ? exit_.user_to_reset->ident : ""; }

  // The window's archive entries (name -> bytes); tests may change them before Initialize.
  std::map<std::string, std::string> loginui_;
  bool write_loginui_ = true;
  bool show_guest_ = false;
  bool leaks_expected_ = false;  // a window with broken canaries is not freed

  TestFirmware fw_;
  MemoryGraphicsOutput display_{800, 600, MemoryGraphicsOutput::kUnwritten};
  MemoryTarnEvents events_{7};
  ToyPictureCodec codec_;
  MemoryFileSystem fs_;
  EFI_FILE_PROTOCOL* root_ = nullptr;
  std::vector<uint8_t> layout_;
  std::deque<TestUser> users_;
  std::vector<LodestoreUser*> panel_;
  LodestoreUser* special_[kSpecialSlotCount] = {};
  std::vector<VerifyCall> verified_;
  int recovery_requests_ = 0;
  LoginUIRecord* ui_ = nullptr;
  LoginUIExitInfo exit_{};
  // Scheduled actions by due time (100 ns units), run by one 1 ms ticker.
  std::multimap<uint64_t, std::function<void()>> script_;
  EFI_EVENT ticker_ = nullptr;
  void Tick();
};

// An archive of toy pictures and raw entries.
std::vector<uint8_t> ArchiveOf(const std::map<std::string, std::string>& entries);

}  // namespace login_test
