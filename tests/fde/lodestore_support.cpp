#include "lodestore_support.h"

#include "efi/protocols/device_path.h"

namespace lodestore_test {
namespace {

Script gScript;
LodestoreMachine* gMachine = nullptr;
LoginUICallbacks gCallbacks;
std::vector<LodestoreUser*> gUsers;

std::string IdentOf(const LodestoreUser* user) { return user ? user->ident : ""; }

// The record the scripted window hands out; only its address matters.
struct ScriptRecord {
  int unused;
};
ScriptRecord gRecord;

EFI_STATUS ScriptInitialize(LoginUIRecord** out, EFI_HANDLE, EFI_SYSTEM_TABLE*, EFI_FILE_PROTOCOL*,
                            UINT32 panel_count, LodestoreUser* const* panel, LodestoreUser* const* special,
                            UINT32 flags, const LoginUICallbacks* callbacks) {
  Script& s = gScript;
  *out = reinterpret_cast<LoginUIRecord*>(&gRecord);
  s.initialized = true;
  s.flags = flags;
  gCallbacks = *callbacks;
  gUsers.clear();
  for (UINT32 i = 0; i < panel_count; ++i) {
    s.panel.push_back(IdentOf(panel[i]));
    s.external_key.push_back(panel[i]->external_key != 0);
    gUsers.push_back(panel[i]);
  }
  for (UINT32 i = 0; i < kSpecialSlotCount; ++i) {
    s.special.push_back(IdentOf(special[i]));
    if (special[i]) gUsers.push_back(special[i]);
  }
  return s.init_status;
}

EFI_STATUS ScriptRunLoop(LoginUIRecord* ui, LoginUIExitInfo* exit_info) {
  Script& s = gScript;
  s.ran = ui == reinterpret_cast<LoginUIRecord*>(&gRecord);
  const LodestoreUser* user = nullptr;
  for (const LodestoreUser* u : gUsers) {
    if (s.user == u->ident) user = u;
  }
  for (const std::u16string& pass : s.passphrases) {
    s.accepted.push_back(gCallbacks.verify_passphrase(gCallbacks.verify_context, user, pass.c_str(),
                                                      static_cast<UnlockRecord*>(gCallbacks.verify_context)));
  }
  if (s.ask_recovery) gCallbacks.start_password_recovery(gCallbacks.recovery_context);
  exit_info->exit_code = s.exit_code;
  exit_info->user = user;
  for (const LodestoreUser* u : gUsers) {
    if (!s.reset_user.empty() && s.reset_user == u->ident) exit_info->user_to_reset = u;
  }
  return s.loop_status;
}

EFI_STATUS ScriptDestroy(LoginUIRecord* ui) {
  if (ui == reinterpret_cast<LoginUIRecord*>(&gRecord)) ++gScript.destroyed;
  return EFI_SUCCESS;
}

bool RecoveryPartition(void*) { return gMachine->recovery_partition; }
EFI_STATUS BootRecovery(void*) {
  ++gMachine->recovery_boots;
  return EFI_NOT_FOUND;
}

}  // namespace

Script& CurrentScript() { return gScript; }
const LoginUI kScriptedLoginUI = {ScriptInitialize, ScriptRunLoop, ScriptDestroy};

LodestoreMachine::LodestoreMachine() : fw(std::make_unique<TestFirmware>()) {
  gScript = Script{};
  gMachine = this;
  boot_path = DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(3).Build();
  boot.Install(boot_path);
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* fs = boot.Protocol();
  fs->OpenVolume(fs, &root);
}

LodestoreMachine::~LodestoreMachine() {
  if (root) root->Close(root);
  Finish();
  gMachine = nullptr;
}

void LodestoreMachine::Install(const wipekey::Output& out, const std::string& path) {
  boot.AddFile(path, out.key_file);
  static std::vector<uint8_t> volume_path, decoy_path;
  volume_path = DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(2).Build();
  decoy_path = DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(1).HardDrive(2).Build();
  // The decoy on another disk comes first in the handle list and must not be taken.
  EFI_HANDLE decoy_handle = fw->InstallProtocol(nullptr, kEfiDevicePathProtocolGuid, decoy_path.data());
  decoy = std::make_unique<MemoryDiskIo>(Bytes(out.volume.size(), 0), 512, decoy_handle);
  EFI_HANDLE handle = fw->InstallProtocol(nullptr, kEfiDevicePathProtocolGuid, volume_path.data());
  volume = std::make_unique<MemoryDiskIo>(out.volume, 512, handle);
}

EFI_STATUS LodestoreMachine::Load(bool hibernate_pending) {
  LodestoreLoadInputs in{nullptr, root, reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(boot_path.data()),
                         hibernate_pending};
  EFI_STATUS status = EFI_ABORTED;
  auto run = fw->Run([&] {
    status = LoadLodestoreConfiguration(in);
    return status;
  });
  EXPECT_EQ(run.how, TestFirmware::RunResult::How::kReturned);
  return status;
}

LodestoreUnlockInputs LodestoreMachine::UnlockInputs(const LoginUI* ui) {
  LodestoreUnlockInputs in{};
  in.image = fw->ImageHandle();
  in.system_table = fw->SystemTable();
  in.root = root;
  in.volume_root = root;
  in.boot_device_path = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(boot_path.data());
  in.login_ui = ui;
  in.recovery_partition_found = RecoveryPartition;
  in.boot_recovery = BootRecovery;
  return in;
}

TestFirmware::RunResult LodestoreMachine::Unlock(EFI_STATUS* status, bool* draw, const LoginUI* ui) {
  LodestoreUnlockInputs in = UnlockInputs(ui);
  bool local_draw = true;
  bool* switch_ = draw ? draw : &local_draw;
  *status = EFI_ABORTED;
  auto run = fw->Run([&] {
    *status = UnlockLodestoreVolumeKey(in, switch_);
    return *status;
  });
  // A failed boot released every allocation; what the state pointed at is gone.
  if (run.how == TestFirmware::RunResult::How::kExited) Lodestore() = {};
  return run;
}

void LodestoreMachine::Finish() {
  LodestoreWipeSecrets();
  LodestoreConfigFree(&Lodestore().config);
  Lodestore() = {};
}

}  // namespace lodestore_test
