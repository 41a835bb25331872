// "UnlockLodestoreVolumeKey": obtains the KEK of the encrypted root — from the revert user,
// from the key the boot notes delivered, or from a passphrase typed in the login window —
// and unwraps the volume keys with it.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/simple_file_system.h"
#include "fde/login_ui.h"

constexpr EFI_GUID kLoginWindowEnterGuid = {0x816749EE, 0xFA96, 0x4853, {0xBF, 0x88, 0x2C, 0x8A, 0xE5, 0x3B, 0x31, 0xC9}};
constexpr EFI_GUID kLoginWindowExitGuid = {0x01AAACBA, 0x34AC, 0x42E3, {0x98, 0x47, 0x66, 0x83, 0x7D, 0xAC, 0x5F, 0x5E}};

// What the stage needs from the layers above it.
struct LodestoreUnlockInputs {
  EFI_HANDLE image;
  EFI_SYSTEM_TABLE* system_table;
  EFI_FILE_PROTOCOL* root;                           // boot volume root, for the window
  EFI_FILE_PROTOCOL* volume_root;                    // looked at for the recovery loader
  const EFI_DEVICE_PATH_PROTOCOL* boot_device_path;  // for the recovery boot option
  const LoginUI* login_ui;                           // kLoginUIAbsent until the window exists
  bool hidpi;
  // Whether a recovery partition exists (asked only when the loader is not on the boot
  // volume; may be null).
  bool (*recovery_partition_found)(void* context);
  // Starts the recovery system; returns only when it could not be started.
  EFI_STATUS (*boot_recovery)(void* context);
  void* context;
  // Writes back the hibernation variables before a shutdown or restart (may be null).
  void (*keep_hibernation)();
};

// The login window's flags for this boot.
UINT32 LoginWindowFlags(const LodestoreUnlockInputs& inputs);

// The stage. *draw_boot_graphics is cleared when the login window is shown and set when the
// delivered key unlocked. Shuts down, restarts or starts the recovery system as the window's
// exit code asks (those paths do not return); ends the boot when the recovery system cannot
// be started. Returns EFI_SUCCESS once a volume key is unwrapped; the login window's error,
// EFI_ACCESS_DENIED when the window ended without an accepted passphrase, or EFI_NOT_FOUND
// when the accepted KEK opens no volume key.
EFI_STATUS UnlockLodestoreVolumeKey(const LodestoreUnlockInputs& inputs, bool* draw_boot_graphics);
