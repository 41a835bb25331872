// Building the login window's users from a parsed key file.
#pragma once

#include "fde/lodestore.h"

// Builds the users of config->root ("CryptoUsers") and takes its "WrappedVolumeKeys".
// last_login_ident (or null) fills the last-login slot with the panel user of that ident.
// Statuses: EFI_NOT_FOUND without a non-empty "CryptoUsers" array; EFI_VOLUME_CORRUPTED
// when no user could be built or "WrappedVolumeKeys" is missing or empty;
// EFI_OUT_OF_RESOURCES. On failure the users are freed (config->root stays).
EFI_STATUS BuildLodestoreUsers(LodestoreConfig* config, const char* last_login_ident);

// The role of a user type: true for a type the login window shows as a panel user.
bool LodestoreIsPanelType(UINT32 type);
