// The encrypted root ("Lodestore" volume): the users built from its key file, the key chain
// (passphrase -> key-encrypting key -> volume keys) and the one process-wide record of what
// has been unlocked. Everything secret here is zero-filled before its memory goes back.
#pragma once

#include "config/plist.h"
#include "efi/efi.h"
#include "fde/unlock_key.h"

// "UserType" values of the key file.
constexpr UINT32 kLodestoreUserPanel = 0x10060002;
constexpr UINT32 kLodestoreUserMaster = 0x10020003;
constexpr UINT32 kLodestoreUserRecoveryKey = 0x10010005;
constexpr UINT32 kLodestoreUserDisk = 0x10000001;
constexpr UINT32 kLodestoreUserRevert = 0x20080007;
constexpr UINT32 kLodestoreUserExternalKey = 0x20010008;
constexpr UINT32 kLodestoreUserPasswordBit = 0x10000000;  // set on every user that types a password

// The only wrap version the booter reads.
constexpr INT64 kLodestoreWrapVersion = 1;

// The special slots handed to the login window, in this order.
enum LodestoreSlot : UINT32 {
  kSlotMaster = 0,
  kSlotRecoveryKey = 1,
  kSlotDisk = 2,
  kSlotLastLogin = 3,
  kSlotReserved = 4,  // left empty here
  kSpecialSlotCount = 5,
};

struct LodestoreUserName {
  const UINT8* bytes;
  UINT32 length;
};

// One user the login window may show. Pointers lead into the parsed key file.
struct LodestoreUser {
  const char* ident;            // "UserIdent"
  const PlistNode* dict;        // the user's dictionary
  UINT32 name_count;            // "UserNamesData" entries
  LodestoreUserName* names;     // pool array of name_count entries, or null
  const UINT8* picture;         // "EFILoginGraphics", or null
  UINT32 picture_length;
  UINT8 standard;               // type kLodestoreUserPanel
  UINT8 external_key;           // an external-key user names this ident
  UINT32 type;                  // "UserType"
};

// The users and volume keys of a parsed key file.
struct LodestoreConfig {
  PlistNode* root;                              // the key file's dictionary (owned)
  LodestoreUser* users;                         // every built user (pool array of user_capacity)
  UINT32 user_count;
  UINT32 user_capacity;
  LodestoreUser** panel;                        // panel users in file order (pool array)
  UINT32 panel_count;
  UINT32 panel_expected;                        // panel users counted in the first pass
  LodestoreUser* special[kSpecialSlotCount];
  const PlistNode* revert_user;                 // the revert user's dictionary, or null
  const PlistNode* wrapped_volume_keys;         // the "WrappedVolumeKeys" array
};

// One unwrapped volume key and the dictionary it came from.
struct VolumeKeySlot {
  const PlistNode* dict;
  UINT32 key_kind;
  UINT32 length;
  UINT8 bytes[kKeyRecordMaxBytes];
};

// Filled by a passphrase that verified.
struct UnlockRecord {
  const char* user_ident;   // null until a passphrase was accepted
  char* passphrase;         // UTF-8, pool, wiped before release
  UINTN passphrase_size;    // bytes of the passphrase buffer
  const char* kek_ident;
  KeyRecord kek;
};

// Everything the encrypted-root stages keep between them and the hand-off.
struct LodestoreState {
  bool loaded;                   // the configuration was loaded
  LodestoreConfig config;
  KeyRecord kek;                 // the key-encrypting key in use
  const char* kek_ident;         // its ident, once known
  VolumeKeySlot* volume_keys;    // pool table, one slot per "WrappedVolumeKeys" entry
  UINT32 volume_key_capacity;
  UINT32 volume_key_count;
  UnlockRecord unlock;
  const char* reset_ident;       // a user the login window reset, or null
  bool recovery_prepared;        // StartPasswordRecovery wrote Boot0081 and BootNext
};

LodestoreState& Lodestore();

// The integer of a dictionary member, false when missing or not an integer.
bool PlistDictInteger(const PlistNode* dict, const char* key, INT64* value);
// The string of a dictionary member, or null.
const char* PlistDictString(const PlistNode* dict, const char* key);
// The data of a dictionary member, false when missing, not data or empty.
bool PlistDictData(const PlistNode* dict, const char* key, const UINT8** data, UINTN* length);

// Frees the users and the parsed key file and clears the configuration.
void LodestoreConfigFree(LodestoreConfig* config);

// Zero-fills and frees every secret: the unwrapped volume keys and their table, the
// passphrase copy, the KEKs and the boot notes' delivered records. Safe to call again.
void LodestoreWipeSecrets();
