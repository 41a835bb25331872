// The Voxlet pane: command-F5, a name typed in any case, the password, and the spoken cues
// and beeps in the order the firmware receives them.
#include "tests/login/login_fixture.h"

#include "efi/protocols/tarn_audio.h"
#include "efi/protocols/tarn_beep.h"
#include "login/window_internal.h"
#include "tests/ui/ui_test_support.h"

namespace login_test {
namespace {

std::vector<std::string>* gCues = nullptr;
bool gPlaying = false;

// "sound.efires" entries hold their own name, so the cue can be told from its bytes.
EFI_STATUS EFIAPI PlaySound(TarnAudioProtocol*, const VOID* sound, UINTN size) {
  gCues->push_back("play " + std::string(static_cast<const char*>(sound), size));
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI IsPlaying(TarnAudioProtocol*, BOOLEAN* playing) {
  *playing = gPlaying;
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI AudioBeep(TarnAudioProtocol*, UINT32 count, UINT64 tone, UINT64 pause, UINT32) {
  gCues->push_back("audio-beep " + std::to_string(count) + " " + std::to_string(tone) + " " + std::to_string(pause));
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI Prepare(TarnBeepGenProtocol*, UINT32 count, UINT64 tone, UINT64 pause) {
  gCues->push_back("prepare " + std::to_string(count) + " " + std::to_string(tone) + " " + std::to_string(pause));
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI Beep(TarnBeepGenProtocol*, UINT32 count, UINT64 tone, UINT64 pause) {
  gCues->push_back("beep " + std::to_string(count) + " " + std::to_string(tone) + " " + std::to_string(pause));
  return EFI_SUCCESS;
}

class Voxlet : public LoginFixture {
 protected:
  Voxlet() {
    gCues = &cues_;
    gPlaying = false;
    audio_.PlaySound = PlaySound;
    audio_.IsPlaying = IsPlaying;
    audio_.Beep = AudioBeep;
    beep_.Prepare = Prepare;
    beep_.Beep = Beep;
    fw_.InstallProtocol(nullptr, kTarnHighDefinitionAudioProtocolGuid, &audio_);
    std::map<std::string, std::string> sounds;
    for (const char* cue : {"VoxletOn", "VoxletOff", "Username", "Password", "UsernameOrPasswordIncorrect", "Beep"}) {
      std::string name = std::string("sound_SCREFIAudio.") + cue;
      sounds[name] = cue;
    }
    fs_.AddFile("\\usr\\standalone\\i386\\EfiLoginUI\\sound.efires", ArchiveOf(sounds));
  }
  ~Voxlet() override { gCues = nullptr; }
  void WithBeepGenerator() { fw_.InstallProtocol(nullptr, kTarnBeepGenProtocolGuid, &beep_); }

  std::vector<std::string> cues_;
  TarnAudioProtocol audio_{};
  TarnBeepGenProtocol beep_{};
};

TEST_F(Voxlet, ANameInAnyCaseThenThePasswordUnlocksWithCuesInOrder) {
  WithBeepGenerator();
  AddUser("anne", {"Anne"}, "secret");
  AddUser("ben", {"Ben", "Benjamin Bloom"}, "pw");
  At(2500, [this] { Key(kKeyF5, kCommand); });
  uint64_t t = Type(2600, "BENJAMIN bLOOM");
  At(t, [this] { Key(kKeyReturn); });
  t = Type(t + 200, "wrong");
  At(t, [this] { Key(kKeyReturn); });
  t = Type(t + 2000, "pw");
  At(t, [this] { Key(kKeyReturn); });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS) << CapturedLog();
  EXPECT_EQ(exit_.exit_code, kLoginExitPassphrase);
  EXPECT_EQ(ExitUser(), "ben");
  const std::vector<std::string> expected = {
      "play VoxletOn",                                               // command-F5
      "play Username", "prepare 1 0 400", "beep 1 200 150",          // the name field
      "play Password", "prepare 1 0 400", "beep 2 200 150",          // return: the password field
      "play UsernameOrPasswordIncorrect",                            // "wrong"
      "play Password", "prepare 1 0 400", "beep 2 200 150",          // back in the password field
      "prepare 1 0 400", "beep 3 200 150",                           // unlocked
  };
  EXPECT_EQ(cues_, expected);
}

TEST_F(Voxlet, WithoutABeepGeneratorTheAudioProtocolBeeps) {
  AddUser("anne", {"Anne"}, "secret");
  At(2500, [this] { Key(kKeyF5, kCommand); });
  At(2600, [this] { Key(kKeyF5, kCommand); });  // and out again
  At(3000, [] { RunLoopExit(); });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
  EXPECT_EQ(cues_, (std::vector<std::string>{"play VoxletOn", "play Username", "audio-beep 1 200 150",
                                              "play VoxletOff"}));
  EXPECT_EQ(ui_->window->pane, kLWPaneLogin);  // one user: straight back to its password
}

TEST_F(Voxlet, AnUnknownNameLeavesNoUserSelected) {
  AddUser("anne", {"Anne"}, "secret");
  AddUser("ben", {"Ben"}, "pw");
  At(2500, [this] { Key(kKeyF5, kCommand); });
  uint64_t t = Type(2600, "Annette");
  At(t, [this] { Key(kKeyReturn); });
  At(t + 200, [this] {
    EXPECT_EQ(ui_->window->selected_user, nullptr);
    EXPECT_TRUE(UIPasswordTextFieldIsFocused(ui_->window->password.field));
    RunLoopExit();
  });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
}

TEST_F(Voxlet, SoundsRequestedWhilePlayingWaitTheirTurnAndOnlyTheLastFiveAreKept) {
  AddUser("anne", {"Anne"}, "secret");
  At(2500, [this] {
    gPlaying = true;
    LoginWindow* lw = ui_->window;
    _LW_VoxletPlaySound(lw, "sound_SCREFIAudio.Beep");  // loads the archive; waits
    for (const char* cue : {"VoxletOn", "VoxletOff", "Username", "Password", "UsernameOrPasswordIncorrect"}) {
      _LW_VoxletPlaySound(lw, (std::string("sound_SCREFIAudio.") + cue).c_str());
    }
  });
  At(2800, [this] {
    EXPECT_TRUE(cues_.empty());
    gPlaying = false;
  });
  At(4000, [] { RunLoopExit(); });
  ASSERT_EQ(InitializeAndRun(), EFI_SUCCESS);
  EXPECT_EQ(cues_, (std::vector<std::string>{"play VoxletOn", "play VoxletOff", "play Username", "play Password",
                                              "play UsernameOrPasswordIncorrect"}));
}

}  // namespace
}  // namespace login_test
