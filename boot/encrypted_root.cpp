#include "boot/encrypted_root.h"

#include "boot/recovery.h"
#include "boot/volume.h"
#include "config/boot_options.h"
#include "diag/fatal.h"
#include "diag/stage.h"
#include "fde/lodestore_load.h"
#include "fde/lodestore_unlock.h"
#include "flags/boot_mode.h"
#include "graphics/display.h"
#include "graphics/display_connect.h"
#include "hibernate/hibernate_vars.h"
#include "login/login_ui.h"

namespace {

RecoverySearch Search() { return RecoverySearch{BootConfigDictionary(), nullptr}; }

bool RecoveryPartitionFound(void*) {
  EFI_HANDLE image = nullptr;
  if (EFI_ERROR(FindRecoverySystem(gBootVolume.device_path, Search(), &image))) return false;
  gBS->UnloadImage(image);
  return true;
}

EFI_STATUS BootRecoverySystem(void*) { return StartRecoverySystem(gBootVolume.device_path, Search()); }

}  // namespace

void RunEncryptedRootStages(bool* draw_boot_graphics, bool hidpi) {
  if (!(BootModeFlags & kBootModeEncryptedRoot)) return;
  EFI_STATUS status = EFI_SUCCESS;
  {
    Stage stage("LoadLodestoreConfiguration");
    status = LoadLodestoreConfiguration(LodestoreLoadInputs{gBootVolume.load_file, gBootVolume.root,
                                                            gBootVolume.device_path,
                                                            (BootModeFlags & kBootModeHibernate) != 0});
  }
  if (EFI_ERROR(status)) return;
  BootModeFlags |= kBootModeEncryptedConfig;
  const bool hibernate = (BootModeFlags & kBootModeHibernate) != 0;
  (void)ConnectGraphics(true, hibernate);  // a display that stays dark still shows the text console
  if (hibernate) {
    ReadHiDPIPreference();  // the scale the resumed system left
    hidpi = gDisplay.hidpi;
  }
  LodestoreUnlockInputs inputs{};
  inputs.image = gImageHandle;
  inputs.system_table = gST;
  inputs.root = gBootVolume.root;
  inputs.volume_root = gBootVolume.volume_root;
  inputs.boot_device_path = gBootVolume.device_path;
  inputs.login_ui = &kLoginUIWindow;
  inputs.hidpi = hidpi;
  inputs.keep_hibernation = [] { SaveHibernateVars(); };
  inputs.recovery_partition_found = RecoveryPartitionFound;
  inputs.boot_recovery = BootRecoverySystem;
  {
    Stage stage("UnlockLodestoreVolumeKey");
    status = UnlockLodestoreVolumeKey(inputs, draw_boot_graphics);
  }
  if (EFI_ERROR(status)) {
    LodestoreWipeSecrets();  // the failed boot frees memory without looking inside
    FatalError("ERROR!!! unlocking Lode Store volume (0x%x)\n", status);
  }
}
