#include "fde/lodestore_users.h"

#include "memory/memory.h"
#include "output/console.h"
#include "lib/string.h"

namespace {

bool IsSpecialType(UINT32 type) {
  return type == kLodestoreUserMaster || type == kLodestoreUserRecoveryKey || type == kLodestoreUserDisk;
}

bool UserType(const PlistNode* user, UINT32* type) {
  INT64 value = 0;
  if (!user || user->type != kPlistDict || !PlistDictInteger(user, "UserType", &value)) return false;
  *type = static_cast<UINT32>(value);
  return true;
}

// First pass: panel users up to the first element without a type, and the revert user.
void CountUsers(const PlistNode* users, LodestoreConfig* config) {
  for (const PlistNode* user = users->child; user; user = user->next) {
    UINT32 type = 0;
    if (!UserType(user, &type)) break;
    if (LodestoreIsPanelType(type)) ++config->panel_expected;
    if (type == kLodestoreUserRevert) config->revert_user = user;
  }
}

// The "OS User UUID" an external-key user names, or null.
const char* ExternalKeyTarget(const PlistNode* user) {
  UINT32 type = 0;
  if (!UserType(user, &type) || type != kLodestoreUserExternalKey) return nullptr;
  const PlistNode* props = PlistDictLookup(user, "ExternalKeyProps");
  if (!props || props->type != kPlistDict) return nullptr;
  return PlistDictString(props, "OS User UUID");
}

// "UserNamesData": every element must be non-empty data, else no names at all.
EFI_STATUS CollectNames(LodestoreUser* record) {
  const PlistNode* names = PlistDictLookup(record->dict, "UserNamesData");
  UINTN count = PlistArrayCount(names);
  if (count == 0) return EFI_SUCCESS;
  record->names = static_cast<LodestoreUserName*>(PoolAllocateZero(sizeof(LodestoreUserName) * count));
  if (!record->names) return EFI_OUT_OF_RESOURCES;
  UINTN index = 0;
  for (const PlistNode* name = names->child; name; name = name->next, ++index) {
    if (name->type != kPlistData || !name->data || name->dataLength == 0 || name->dataLength > 0xFFFFFFFF) {
      ConsolePrint("namesData[%d] invalid\n", static_cast<UINT32>(index));
      PoolFree(record->names);
      record->names = nullptr;
      record->name_count = 0;
      return EFI_SUCCESS;
    }
    record->names[index] = {name->data, static_cast<UINT32>(name->dataLength)};
    record->name_count = static_cast<UINT32>(index + 1);
  }
  return EFI_SUCCESS;
}

void TakePicture(LodestoreUser* record, bool panel) {
  const UINT8* picture = nullptr;
  UINTN length = 0;
  if (PlistDictData(record->dict, "EFILoginGraphics", &picture, &length) && length <= 0xFFFFFFFF) {
    record->picture = picture;
    record->picture_length = static_cast<UINT32>(length);
  } else if (panel) {
    ConsolePrint("WARNING: No graphics for panel user (type 0x%x).\n", record->type);
  }
}

LodestoreSlot SlotOf(UINT32 type) {
  if (type == kLodestoreUserMaster) return kSlotMaster;
  if (type == kLodestoreUserRecoveryKey) return kSlotRecoveryKey;
  return kSlotDisk;
}

// Builds one user into the next record; returns false when the user is not built.
bool BuildUser(const PlistNode* user, const char* ident, const char* last_login_ident, LodestoreConfig* config) {
  UINT32 type = 0;
  if (!UserType(user, &type)) {
    ConsolePrint("BuildUser(): can't build user without type\n");
    return false;
  }
  if (config->user_count >= config->user_capacity || !(type & kLodestoreUserPasswordBit)) {
    ConsolePrint("BuildUser(): error building a user of type 0x%x\n", type);
    return false;
  }
  LodestoreUser* record = &config->users[config->user_count];
  *record = {};
  record->ident = ident;
  record->dict = user;
  record->type = type;
  record->standard = type == kLodestoreUserPanel;
  bool panel = LodestoreIsPanelType(type);
  if (panel && type != kLodestoreUserPanel) ConsolePrint("WARNING: unknown password-based user\n");
  TakePicture(record, panel);
  if (EFI_ERROR(CollectNames(record))) {
    ConsolePrint("BuildUser(): error building a user of type 0x%x\n", type);
    return false;
  }
  ++config->user_count;
  if (IsSpecialType(type)) {
    config->special[SlotOf(type)] = record;
    return true;
  }
  if (last_login_ident && AsciiStrCmp(last_login_ident, ident) == 0) config->special[kSlotLastLogin] = record;
  if (config->panel_count < config->panel_expected) config->panel[config->panel_count++] = record;
  return true;
}

void MarkExternalKeyUsers(LodestoreConfig* config, const char* const* targets, UINTN target_count) {
  for (UINT32 i = 0; i < config->panel_count; ++i) {
    for (UINTN t = 0; t < target_count; ++t) {
      if (AsciiStrCmp(config->panel[i]->ident, targets[t]) == 0) config->panel[i]->external_key = 1;
    }
  }
}

void FreeUsers(LodestoreConfig* config) {
  PlistNode* root = config->root;
  config->root = nullptr;
  LodestoreConfigFree(config);
  config->root = root;
}

}  // namespace

bool LodestoreIsPanelType(UINT32 type) {
  return type == kLodestoreUserPanel || ((type & kLodestoreUserPasswordBit) && !IsSpecialType(type));
}

EFI_STATUS BuildLodestoreUsers(LodestoreConfig* config, const char* last_login_ident) {
  const PlistNode* users = PlistDictLookup(config->root, "CryptoUsers");
  UINTN count = PlistArrayCount(users);
  if (count == 0) return EFI_NOT_FOUND;
  CountUsers(users, config);
  config->users = static_cast<LodestoreUser*>(PoolAllocateZero(sizeof(LodestoreUser) * count));
  config->panel = static_cast<LodestoreUser**>(PoolAllocateZero(sizeof(LodestoreUser*) * (config->panel_expected + 1)));
  const char** targets = static_cast<const char**>(PoolAllocateZero(sizeof(const char*) * count));
  if (!config->users || !config->panel || !targets) {
    PoolFree(targets);
    FreeUsers(config);
    return EFI_OUT_OF_RESOURCES;
  }
  config->user_capacity = static_cast<UINT32>(count);
  UINTN target_count = 0;
  for (const PlistNode* user = users->child; user; user = user->next) {
    const char* ident = user->type == kPlistDict ? PlistDictString(user, "UserIdent") : nullptr;
    if (!ident) continue;
    if (const char* target = ExternalKeyTarget(user)) targets[target_count++] = target;
    BuildUser(user, ident, last_login_ident, config);
  }
  MarkExternalKeyUsers(config, targets, target_count);
  PoolFree(targets);
  if (config->user_count == 0) {
    ConsolePrint("ERROR: no panel or special users!\n");
    FreeUsers(config);
    ConsolePrint("No LDFDE users processed\n");
    return EFI_VOLUME_CORRUPTED;
  }
  if (config->panel_count < config->panel_expected) {
    ConsolePrint("WARNING: only built %d panel users; expecting %d\n", config->panel_count, config->panel_expected);
  }
  config->wrapped_volume_keys = PlistDictLookup(config->root, "WrappedVolumeKeys");
  if (PlistArrayCount(config->wrapped_volume_keys) == 0) {
    FreeUsers(config);
    return EFI_VOLUME_CORRUPTED;
  }
  return EFI_SUCCESS;
}
