// The encrypted-root stages of the boot sequence: "LoadLodestoreConfiguration" and
// "UnlockLodestoreVolumeKey", with the recovery system and the login window they may need.
#pragma once

// Runs both stages when the root is encrypted. A key file that cannot be loaded lets the
// boot go on as for a plain root; a failed unlock ends it. *draw_boot_graphics is cleared
// when the login window was shown and set when a key from the boot notes unlocked.
void RunEncryptedRootStages(bool* draw_boot_graphics, bool hidpi);
