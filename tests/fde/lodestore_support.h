// A machine with an encrypted root for the unlock tests: a SATA disk whose partition 2 is
// the encrypted physical volume (a header image from the toolkit) and partition 3 the boot
// partition holding the key file; a decoy partition 2 on another disk. Key files come from
// the toolkit (tools/lib/wipekey.h); the login window is a script.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fde/key_chain.h"
#include "fde/lodestore.h"
#include "fde/lodestore_load.h"
#include "fde/lodestore_unlock.h"
#include "memory/memory.h"
#include "testfw/memory_disk_io.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"
#include "tools/lib/wipekey.h"

namespace lodestore_test {

using Bytes = std::vector<uint8_t>;

// Idents used throughout.
inline const std::string kAnne = "6A0E6C2B-1F1D-4B6E-9A1C-0D6E8B4F2A11";
inline const std::string kBen = "0B5C9E4D-7A21-4C3B-8E5F-3D2A1B0C9F22";
inline const std::string kKekA = "A1A1A1A1-0000-4000-8000-00000000000A";
inline const std::string kKekB = "B2B2B2B2-0000-4000-8000-00000000000B";
inline const std::string kVolume = "C3C3C3C3-1111-4111-8111-111111111111";
inline const std::string kVolume2 = "D4D4D4D4-2222-4222-8222-222222222222";
inline const std::string kAnnePass = "correct horse battery staple 7";
inline const std::string kBenPass = "tr0ub4dor & 3 -- ben's own";

// Two panel users under one KEK and one volume key.
inline std::string BaseDescription() {
  return "volume size=65536 placement=end checksum=1 key-kind=2 key-length=16\n"
         "kek name=A ident=" + kKekA + "\n"
         "user type=panel ident=" + kAnne + " name=\"Anne\" picture=text:PNG-anne passphrase=\"" + kAnnePass +
         "\" iterations=20 kek=A\n"
         "user type=panel ident=" + kBen + " name=\"Ben\" name=\"Ben B.\" picture=text:PNG-ben passphrase=\"" +
         kBenPass + "\" iterations=25 kek=A\n"
         "volume-key ident=" + kVolume + " kek=A\n";
}

inline wipekey::Output Make(const std::string& description) {
  wipekey::Description d;
  std::string error;
  wipekey::Output out;
  if (!wipekey::ParseDescription(description, &d, &error) || !wipekey::Create(d, &out, &error)) {
    ADD_FAILURE() << error;
  }
  return out;
}

inline wipekey::Description Parse(const std::string& description) {
  wipekey::Description d;
  std::string error;
  EXPECT_TRUE(wipekey::ParseDescription(description, &d, &error)) << error;
  return d;
}

// The scripted login window.
struct Script {
  EFI_STATUS init_status = EFI_SUCCESS;
  EFI_STATUS loop_status = EFI_SUCCESS;
  std::string user;                          // whose tile the passphrases are typed on
  std::vector<std::u16string> passphrases;   // typed in order
  bool ask_recovery = false;                 // "forgot password" before the exit
  UINT32 exit_code = kLoginExitPassphrase;
  std::string reset_user;                    // the user to reset the window reports, if any
  // What the window saw.
  bool initialized = false;
  bool ran = false;
  UINT32 flags = 0;
  std::vector<std::string> panel;
  std::vector<std::string> special;          // "" for an empty slot
  std::vector<bool> accepted;
  std::vector<bool> external_key;
  int destroyed = 0;                         // FDELoginUIDestroy calls on the window's record
};

Script& CurrentScript();
extern const LoginUI kScriptedLoginUI;

class LodestoreMachine {
 public:
  LodestoreMachine();
  ~LodestoreMachine();

  // Puts the toolkit's output in place: the key file on the boot partition (at path), the
  // partition image on partition 2.
  void Install(const wipekey::Output& out, const std::string& path = "\\EncryptedRoot.plist.wipekey");
  EFI_STATUS Load(bool hibernate_pending = false);
  LodestoreUnlockInputs UnlockInputs(const LoginUI* ui = &kScriptedLoginUI);
  // Runs the unlock stage under the firmware's Run (it may reset, exit or fail the boot).
  TestFirmware::RunResult Unlock(EFI_STATUS* status, bool* draw = nullptr, const LoginUI* ui = &kScriptedLoginUI);
  // Frees the parsed configuration and wipes every secret (what the hand-off does).
  void Finish();
  // The console's text with the line ends as the messages are written ("\n").
  std::string Console() const {
    std::string text = fw->ConsoleText(), out;
    for (char c : text) {
      if (c != '\r') out += c;
    }
    return out;
  }

  std::unique_ptr<TestFirmware> fw;
  MemoryFileSystem boot;
  std::unique_ptr<MemoryDiskIo> volume;
  std::unique_ptr<MemoryDiskIo> decoy;
  std::vector<uint8_t> boot_path;
  EFI_FILE_PROTOCOL* root = nullptr;
  int recovery_boots = 0;
  bool recovery_partition = false;
};

}  // namespace lodestore_test
