// The unlock stage: revert user, delivered KEK, the scripted login window and its exit codes,
// the recovery requests, the key store handed to the kernel and the wipe of every secret.
#include <gtest/gtest.h>

#include "devicetree/device_tree.h"
#include "fde/key_store.h"
#include "fde/recovery_boot_mode.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "lib/mem.h"
#include "lodestore_support.h"

namespace lodestore_test {
namespace {

constexpr EFI_GUID kGlobal = {0x8BE4DF61, 0x93CA, 0x11D2, {0xAA, 0x0D, 0x00, 0xE0, 0x98, 0x03, 0x2B, 0x8C}};
const std::string kRevert = "55555555-0000-4000-8000-000000000005";

Bytes KekBytes(const std::string& description, size_t index = 0) { return Parse(description).keks[index].key; }
Bytes VolumeKeyBytes(const std::string& description, size_t index = 0) {
  return Parse(description).volume_keys[index].key;
}
Bytes Utf8(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Uuid(const std::string& text) {
  Bytes out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '-') continue;
    out.push_back(static_cast<uint8_t>(std::stoi(text.substr(i, 2), nullptr, 16)));
    ++i;
  }
  return out;
}

// A machine with the base key file loaded and its secrets watched.
class Unlock : public ::testing::Test {
 protected:
  void SetUp() override { Start(BaseDescription()); }
  void Start(const std::string& description) {
    if (machine_) {
      machine_->Finish();
      EXPECT_EQ(fw().SecretsLeaked(), 0);
      machine_.reset();  // one firmware at a time
    }
    machine_ = std::make_unique<LodestoreMachine>();
    description_ = description;
    out_ = Make(description);
    machine_->Install(out_);
    fw().WatchSecret(KekBytes(description));
    fw().WatchSecret(VolumeKeyBytes(description));
    fw().WatchSecret(Utf8(kAnnePass));
    fw().WatchSecret(Bytes(out_.header.begin() + 176, out_.header.begin() + 192));
    // The opened key file's text (the parser cuts it at tag ends, so a piece of a data value).
    const std::string tag = "<key>PassphraseWrappedKEKStruct</key><data>";
    fw().WatchSecret(Utf8(out_.plist.substr(out_.plist.find(tag) + tag.size(), 24)));
    ASSERT_EQ(machine_->Load(), EFI_SUCCESS) << machine_->Console();
  }
  void TearDown() override {
    machine_->Finish();
    EXPECT_EQ(fw().SecretsLeaked(), 0);
  }
  TestFirmware& fw() { return *machine_->fw; }
  Script& script() { return CurrentScript(); }
  std::optional<std::string> VariableText(const std::u16string& name, const EFI_GUID& guid) {
    auto v = fw().GetVariable(name, guid);
    if (!v) return std::nullopt;
    return std::string(v->begin(), v->end());
  }
  Bytes Lookup(const std::string& volume) {
    Bytes key(64, 0);
    UINTN copied = 0;
    if (EFI_ERROR(LookupLodestoreVolumeKey(Uuid(volume).data(), key.data(), 16, &copied))) return {};
    key.resize(copied);
    return key;
  }

  std::unique_ptr<LodestoreMachine> machine_;
  std::string description_;
  wipekey::Output out_;
};

TEST_F(Unlock, RightPassphraseOpensTheVolumeKey) {
  script().user = kAnne;
  script().passphrases = {u"wrong", ToUtf16(kAnnePass)};
  EFI_STATUS status;
  bool draw = true;
  auto run = machine_->Unlock(&status, &draw);
  ASSERT_EQ(run.how, TestFirmware::RunResult::How::kReturned);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(script().accepted, (std::vector<bool>{false, true}));
  EXPECT_FALSE(draw);  // the window was shown
  EXPECT_EQ(script().panel, (std::vector<std::string>{kAnne, kBen}));
  EXPECT_EQ(Lookup(kVolume), VolumeKeyBytes(description_));
  EXPECT_EQ(Lookup(kVolume2), Bytes{});
  EXPECT_EQ(std::string(Lodestore().unlock.user_ident), kAnne);
  EXPECT_EQ(std::string(Lodestore().kek_ident), kKekA);
}

TEST_F(Unlock, PassphrasesAreCheckedAsUtf8) {
  // A fresh key file whose passphrase has two- and three-byte characters.
  std::string description = BaseDescription();
  description.replace(description.find(kAnnePass), kAnnePass.size(), "p\xC3\xA4ss \xE2\x9C\x93 ok");
  Start(description);
  script().user = kAnne;
  script().passphrases = {u"pass \u2713 ok", u"p\u00E4ss \u2713 ok"};
  EFI_STATUS status;
  machine_->Unlock(&status);
  EXPECT_EQ(script().accepted, (std::vector<bool>{false, true}));
  EXPECT_EQ(status, EFI_SUCCESS);
}

TEST_F(Unlock, UsersThatCannotBeOpened) {
  struct Case {
    const char* what;
    std::string user_line;
  } cases[] = {
      {"wrap version 2", "user type=panel ident=" + kAnne + " passphrase=pw wrap-version=2 kek=A\n"},
      {"unknown pseudo-random function", "user type=panel ident=" + kAnne + " passphrase=pw prf=1 kek=A\n"},
      {"key check of 0 rounds", "user type=panel ident=" + kAnne + " passphrase=pw check-count=0 kek=A\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start("volume size=65536\nkek name=A ident=" + kKekA + "\n" + c.user_line + "volume-key ident=" + kVolume +
          " kek=A\n");
    script() = Script{};
    script().user = kAnne;
    script().passphrases = {u"pw"};
    EFI_STATUS status;
    machine_->Unlock(&status);
    EXPECT_EQ(script().accepted, std::vector<bool>{false});
    EXPECT_EQ(status, EFI_ACCESS_DENIED);
  }
}

TEST_F(Unlock, RevertUserUnlocksWithoutTheWindow) {
  std::string description = BaseDescription() + "user type=revert ident=" + kRevert + " kek=A\n";
  Start(description);
  EFI_STATUS status;
  bool draw = false;
  machine_->Unlock(&status, &draw);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_FALSE(script().initialized);
  EXPECT_FALSE(draw);  // left as it was
  EXPECT_EQ(Lookup(kVolume), VolumeKeyBytes(description));
  EXPECT_EQ(Bytes(Lodestore().kek.bytes, Lodestore().kek.bytes + 16), KekBytes(description));
  EXPECT_EQ(Lodestore().unlock.user_ident, nullptr);
}

TEST_F(Unlock, RevertUserNeedsVersionOne) {
  Start(BaseDescription() + "user type=revert revert-version=2 ident=" + kRevert + " kek=A\n");
  EFI_STATUS status;
  machine_->Unlock(&status);
  EXPECT_TRUE(script().initialized);  // on to the window
}

TEST_F(Unlock, DeliveredKekUnlocksWhenItOpensAVolumeKey) {
  Bytes kek = KekBytes(description_);
  ASSERT_EQ(DeliverUnlockKey(kek.data(), 16), EFI_SUCCESS);
  EFI_STATUS status;
  bool draw = false;
  machine_->Unlock(&status, &draw);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_TRUE(draw);
  EXPECT_FALSE(script().initialized);
  EXPECT_EQ(std::string(Lodestore().kek_ident), kKekA);
  EXPECT_EQ(Lookup(kVolume), VolumeKeyBytes(description_));
}

TEST_F(Unlock, DeliveredKekThatOpensNothingFallsBackToTheWindow) {
  Bytes other(16, 0x6B);
  fw().WatchSecret(other);
  ASSERT_EQ(DeliverUnlockKey(other.data(), 16), EFI_SUCCESS);
  script().user = kBen;
  script().passphrases = {ToUtf16(kBenPass)};
  EFI_STATUS status;
  bool draw = true;
  machine_->Unlock(&status, &draw);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_TRUE(script().ran);
  EXPECT_FALSE(draw);
  EXPECT_EQ(std::string(Lodestore().unlock.user_ident), kBen);
}

TEST_F(Unlock, TwoKeksOnlyTheUnlockingKeksVolumeKeys) {
  std::string description = "volume size=65536\nkek name=A ident=" + kKekA + "\nkek name=B ident=" + kKekB +
                            "\nuser type=panel ident=" + kAnne + " passphrase=\"" + kAnnePass + "\" kek=A\n" +
                            "user type=panel ident=" + kBen + " passphrase=\"" + kBenPass + "\" kek=B\n" +
                            "volume-key ident=" + kVolume + " kek=A\nvolume-key ident=" + kVolume2 + " kek=B\n";
  Start(description);
  script().user = kBen;
  script().passphrases = {ToUtf16(kBenPass)};
  EFI_STATUS status;
  machine_->Unlock(&status);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(Lookup(kVolume), Bytes{});
  EXPECT_EQ(Lookup(kVolume2), VolumeKeyBytes(description, 1));
  EXPECT_EQ(Lodestore().volume_key_count, 1u);
}

TEST_F(Unlock, ExitCodesOfTheWindow) {
  using How = TestFirmware::RunResult::How;
  struct Case {
    const char* what;
    UINT32 exit_code;
    bool right_passphrase;
    How how;
    EFI_STATUS status;            // returned status or exit status
    EFI_RESET_TYPE reset = EfiResetCold;
    const char* console = "";
    const char* mode = nullptr;   // "recovery-boot-mode" afterwards
  } cases[] = {
      {"passphrase accepted", kLoginExitPassphrase, true, How::kReturned, EFI_SUCCESS},
      {"no passphrase accepted", kLoginExitNone, false, How::kReturned, EFI_ACCESS_DENIED},
      {"idle", kLoginExitIdle, false, How::kReset, EFI_SUCCESS, EfiResetShutdown},
      {"shut down", kLoginExitShutdown, false, How::kReset, EFI_SUCCESS, EfiResetShutdown},
      {"restart", kLoginExitRestart, false, How::kReset, EFI_SUCCESS, EfiResetWarm},
      {"guest", kLoginExitGuest, false, How::kExited, EFI_ABORTED, EfiResetCold,
       "| ===> BOOT TO GUEST USER\nERROR!!! Unable to boot recovery guest mode\n", "guest"},
      {"password reset", kLoginExitPasswordReset, false, How::kExited, EFI_ABORTED, EfiResetCold,
       "| ===> BOOT TO FDE RECOVERY\nERROR!!! Unable to boot recovery OS for FDE recovery\n", "fde-password-reset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Start(BaseDescription());
    script().user = kAnne;
    if (c.right_passphrase) script().passphrases = {ToUtf16(kAnnePass)};
    script().exit_code = c.exit_code;
    EFI_STATUS status;
    auto run = machine_->Unlock(&status);
    EXPECT_EQ(run.how, c.how);
    EXPECT_EQ(c.how == How::kReturned ? status : run.status, c.status);
    if (c.how == How::kReset) {
      EXPECT_EQ(run.reset_type, c.reset);
    }
    EXPECT_NE(machine_->Console().find(c.console), std::string::npos) << machine_->Console();
    EXPECT_EQ(machine_->recovery_boots, c.mode ? 1 : 0);
    auto mode = VariableText(u"recovery-boot-mode", TarnBootGuid);
    EXPECT_EQ(mode.value_or(""), c.mode ? c.mode : "");
    if (c.mode) {
      EXPECT_EQ(fw().VariableAttributes(u"recovery-boot-mode", TarnBootGuid), 6u);
    }
  }
}

TEST_F(Unlock, WindowFailures) {
  using How = TestFirmware::RunResult::How;
  {
    script().init_status = EFI_NOT_FOUND;
    EFI_STATUS status;
    machine_->Unlock(&status);
    EXPECT_EQ(status, EFI_NOT_FOUND);
    EXPECT_FALSE(script().ran);
    EXPECT_NE(machine_->Console().find("ERROR: LoginUI Initialize returned 0xe\n"), std::string::npos)
        << machine_->Console();
  }
  {
    fw().SetVariable(u"TARN,PathProperties0000", TarnVendorGuid, "x");
    script().init_status = EFI_VOLUME_CORRUPTED;
    EFI_STATUS status;
    auto run = machine_->Unlock(&status);
    EXPECT_EQ(run.how, How::kReset);
    EXPECT_EQ(run.reset_type, EfiResetCold);
    EXPECT_FALSE(fw().GetVariable(u"TARN,PathProperties0000", TarnVendorGuid).has_value());
    EXPECT_NE(machine_->Console().find("RESTARTING SYSTEM! \n"), std::string::npos);
  }
  {
    script() = Script{};
    script().loop_status = EFI_DEVICE_ERROR;
    EFI_STATUS status;
    machine_->Unlock(&status);
    EXPECT_EQ(status, EFI_DEVICE_ERROR);
  }
  {
    // The booter as it is today: no login window at all.
    machine_->fw->ClearConsole();
    EFI_STATUS status;
    machine_->Unlock(&status, nullptr, &kLoginUIAbsent);
    EXPECT_EQ(status, EFI_UNSUPPORTED);
    EXPECT_NE(machine_->Console().find("ERROR: LoginUI Initialize returned 0x3\n"), std::string::npos);
  }
}

TEST_F(Unlock, PasswordRecoveryRequestAndItsUndo) {
  script().user = kAnne;
  script().ask_recovery = true;
  script().exit_code = kLoginExitGuest;
  EFI_STATUS status;
  machine_->Unlock(&status);
  auto option = fw().GetVariable(u"Boot0081", kGlobal);
  ASSERT_TRUE(option.has_value());
  EXPECT_EQ(LoadLe32(option->data()), 1u);
  std::u16string description(reinterpret_cast<const char16_t*>(option->data() + 6), 11);
  EXPECT_EQ(description, u"Recovery OS");
  std::string tail(option->end() - 80, option->end());
  EXPECT_EQ(fw().VariableAttributes(u"Boot0081", kGlobal), 7u);
  EXPECT_EQ(fw().GetVariable(u"BootNext", kGlobal), (Bytes{0x81, 0x00}));
  EXPECT_EQ(VariableText(u"recovery-boot-mode", TarnBootGuid), "guest");  // rewritten by the guest exit

  // A request followed by an accepted passphrase is taken back.
  Start(BaseDescription());
  script().user = kAnne;
  script().passphrases = {ToUtf16(kAnnePass)};
  script().ask_recovery = true;
  machine_->Unlock(&status);
  EXPECT_EQ(status, EFI_SUCCESS);
  EXPECT_FALSE(fw().GetVariable(u"BootNext", kGlobal).has_value());
  EXPECT_FALSE(fw().GetVariable(u"recovery-boot-mode", TarnBootGuid).has_value());
}

TEST_F(Unlock, LockedRecoveryModeIsNeverTouched) {
  for (UINT32 exit_code : {kLoginExitPassphrase, kLoginExitGuest, kLoginExitPasswordReset}) {
    Start(BaseDescription());
    fw().SetVariable(u"recovery-boot-mode", TarnBootGuid, "locked-by-admin");
    script().user = kAnne;
    script().passphrases = {ToUtf16(kAnnePass)};
    script().ask_recovery = true;
    script().exit_code = exit_code;
    EFI_STATUS status;
    machine_->Unlock(&status);
    EXPECT_EQ(VariableText(u"recovery-boot-mode", TarnBootGuid), "locked-by-admin") << exit_code;
  }
  EXPECT_EQ(SetRecoveryBootMode(nullptr, 0, 0), EFI_WRITE_PROTECTED);
}

TEST_F(Unlock, LoginWindowFlags) {
  LodestoreUnlockInputs in = machine_->UnlockInputs();
  EXPECT_EQ(LoginWindowFlags(in), kLoginFlagAlways);
  in.hidpi = true;
  BootModeFlags |= kBootModeHibernate;
  EXPECT_EQ(LoginWindowFlags(in), kLoginFlagAlways | kLoginFlagHiDpi | kLoginFlagHibernate);
  in.hidpi = false;
  BootModeFlags = 0;
  machine_->recovery_partition = true;
  EXPECT_EQ(LoginWindowFlags(in), kLoginFlagAlways | kLoginFlagRecoveryPresent | kLoginFlagRecoveryAllowed);
  // A firmware password allows recovery only for a boot the firmware picked itself.
  BootModeFlags |= kBootModeFirmwarePassword;
  EXPECT_EQ(LoginWindowFlags(in), kLoginFlagAlways | kLoginFlagRecoveryPresent);
  fw().SetVariable(u"PickerEntryReason", TarnVendorGuid, 6, Bytes{1, 0, 0, 0});
  EXPECT_EQ(LoginWindowFlags(in), kLoginFlagAlways | kLoginFlagRecoveryPresent | kLoginFlagRecoveryAllowed);
  fw().SetVariable(u"PickerEntryReason", TarnVendorGuid, 7, Bytes{1, 0, 0, 0});
  EXPECT_EQ(LoginWindowFlags(in), kLoginFlagAlways | kLoginFlagRecoveryPresent);
  BootModeFlags = 0;
  machine_->recovery_partition = false;
  machine_->boot.AddFile("\\com.tarn.recovery.boot\\hearth.efi", std::string("MZ"));
  EXPECT_EQ(LoginWindowFlags(in), kLoginFlagAlways | kLoginFlagRecoveryPresent | kLoginFlagRecoveryAllowed);
}

// The key store as the kernel reads it: records chained by their sizes.
struct Record {
  uint32_t kind, sub_kind;
  Bytes uuid, payload;
};
std::vector<Record> ReadKeyStore(const uint8_t* block, size_t size) {
  std::vector<Record> records;
  for (size_t at = 0; at + kKeyStoreHeaderSize <= size;) {
    Record r{LoadLe32(block + at + 4), LoadLe32(block + at + 8), Bytes(block + at + 12, block + at + 28), {}};
    EXPECT_EQ(Bytes(block + at + 28, block + at + 44), Bytes(16, 0));
    uint32_t length = LoadLe32(block + at + 44);
    r.payload.assign(block + at + 48, block + at + 48 + length);
    records.push_back(r);
    uint32_t next = LoadLe32(block + at);
    if (next == 0) break;
    EXPECT_EQ(next % 8, 0u);
    at += next;
  }
  return records;
}

TEST_F(Unlock, TheWindowIsDestroyedOnceAndItsUserToResetIsPublished) {
  script().user = kAnne;
  script().passphrases = {ToUtf16(kAnnePass)};
  script().reset_user = kBen;
  EFI_STATUS status;
  machine_->Unlock(&status);
  ASSERT_EQ(status, EFI_SUCCESS);
  EXPECT_EQ(script().destroyed, 1);
  ASSERT_NE(Lodestore().reset_ident, nullptr);
  EXPECT_EQ(std::string(Lodestore().reset_ident), kBen);
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  DeviceTreeFindNode("/chosen", true);
  UINTN size = 0;
  ASSERT_EQ(PublishUnlockResult(nullptr, &size, true), EFI_SUCCESS);
  Bytes block(size, 0);
  UINT8* at = block.data();
  ASSERT_EQ(PublishUnlockResult(&at, &size, true), EFI_SUCCESS);
  const DeviceTreeProperty* reset = DeviceTreeFindProperty(DeviceTreeFindNode("/chosen", false), "efilogin-reset-ident");
  ASSERT_NE(reset, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(reset->value), reset->length), kBen + std::string(1, '\0'));
}

TEST_F(Unlock, AResetUserCountsOnlyForAVerifiedPassphrase) {
  script().user = kAnne;
  script().reset_user = kBen;
  script().exit_code = kLoginExitNone;
  EFI_STATUS status;
  machine_->Unlock(&status);
  EXPECT_EQ(status, EFI_ACCESS_DENIED);
  EXPECT_EQ(script().destroyed, 1);
  EXPECT_EQ(Lodestore().reset_ident, nullptr);
}

TEST_F(Unlock, KeyStoreAndIdentsReachTheKernelThenEverythingIsWiped) {
  Bytes blob = {1, 2, 3, 4, 5};
  ASSERT_EQ(DeliverKeyStoreBlob(blob.data(), 5), EFI_SUCCESS);
  script().user = kAnne;
  script().passphrases = {ToUtf16(kAnnePass)};
  EFI_STATUS status;
  machine_->Unlock(&status);
  ASSERT_EQ(status, EFI_SUCCESS);
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  DeviceTreeFindNode("/chosen", true);
  UINTN size = 0;
  ASSERT_EQ(PublishUnlockResult(nullptr, &size, true), EFI_SUCCESS);
  EXPECT_EQ(size, 48u + 32 + 48 + 16 + 48 + 8);
  Bytes block(size, 0xEE);
  UINT8* at = block.data();
  ASSERT_EQ(PublishUnlockResult(&at, &size, true), EFI_SUCCESS);
  std::vector<Record> records = ReadKeyStore(block.data(), size);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].kind, kKeyStoreKindPassphrase);
  EXPECT_EQ(records[0].sub_kind, 0u);
  EXPECT_EQ(records[0].uuid, Uuid(kAnne));
  EXPECT_EQ(records[0].payload, Utf8(kAnnePass));
  EXPECT_EQ(records[1].kind, kKeyStoreKindKek);
  EXPECT_EQ(records[1].sub_kind, 2u);
  EXPECT_EQ(records[1].uuid, Uuid(kKekA));
  EXPECT_EQ(records[1].payload, KekBytes(description_));
  EXPECT_EQ(records[2].kind, kKeyStoreKindPresetKey);
  EXPECT_EQ(records[2].uuid, Bytes(16, 0));
  EXPECT_EQ(records[2].payload, blob);
  const DeviceTreeProperty* ident = DeviceTreeFindProperty(DeviceTreeFindNode("/chosen", false), "efilogin-unlock-ident");
  ASSERT_NE(ident, nullptr);
  EXPECT_EQ(std::string(static_cast<const char*>(ident->value), ident->length), kAnne + std::string(1, '\0'));
  // Wiped: nothing left to look up or publish again.
  EXPECT_EQ(Lookup(kVolume), Bytes{});
  EXPECT_EQ(Lodestore().kek.length, 0u);
  EXPECT_EQ(DeliveredKeyStoreBlob().length, 0u);
  EXPECT_EQ(PublishUnlockResult(nullptr, &size, true), EFI_NOT_FOUND);
  std::fill(block.begin(), block.end(), 0);  // the test's own copy
  DeviceTreeFree();
}

TEST_F(Unlock, RevertUnlockPublishesNoIdentAndAKekOnlyStore) {
  Start(BaseDescription() + "user type=revert ident=" + kRevert + " kek=A\n");
  EFI_STATUS status;
  machine_->Unlock(&status);
  ASSERT_EQ(DeviceTreeInit(), EFI_SUCCESS);
  DeviceTreeFindNode("/chosen", true);
  UINT64 kernel_size = 0x10000, kernel_at = 0xFFFFFF8002000000ull;  // the kernel, placed first
  ASSERT_NE(KernelMemoryAllocate(&kernel_size, &kernel_at), 0u);
  UINT8* block = nullptr;
  UINTN size = 0;
  ASSERT_EQ(PublishUnlockResult(&block, &size, true), EFI_SUCCESS);  // in the kernel region
  ASSERT_NE(block, nullptr);
  std::vector<Record> records = ReadKeyStore(block, size);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].kind, kKeyStoreKindKek);
  EXPECT_EQ(records[0].payload, KekBytes(description_));
  EXPECT_EQ(DeviceTreeFindProperty(DeviceTreeFindNode("/chosen", false), "efilogin-unlock-ident"), nullptr);
  MemZero(block, size);
  DeviceTreeFree();
}

}  // namespace
}  // namespace lodestore_test
