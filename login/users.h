// The login window's users: each user of the key file becomes a user reference with its
// type, the names the window matches against, its pictures (from the user's own archive,
// the type's static archive or the unknown-user archive) and, for the master-password and
// recovery-key users, the user whose password is being reset.
#pragma once

#include "draw/geometry.h"
#include "efi/efi.h"
#include "efi/protocols/simple_file_system.h"
#include "fde/lodestore.h"
#include "ui/archive.h"

enum LoginUserType : UINT32 {
  kLoginUserNormal = 0,
  kLoginUserUnknown = 1,
  kLoginUserMaster = 2,
  kLoginUserDisk = 3,
  kLoginUserRecovery = 4,
  kLoginUserGuest = 5,
};

// The pictures of a user, in the order they are loaded.
enum LoginPictureSlot : UINT32 {
  kLoginPictureAvatar = 0,
  kLoginPictureAvatarPressed,
  kLoginPictureAvatarSelected,
  kLoginPictureAvatarSelectedPressed,
  kLoginPictureBackUp,
  kLoginPictureBackDown,
  kLoginPictureHint,          // "password_hint.png"
  kLoginPictureSerial,        // "serial_record_numbers.png"
  kLoginPictureCallSomeone,   // "recovery_popmsg_call_someone_else.png"
  kLoginPictureTransparent,   // "transparent.png"
  kLoginPictureCount,
};

struct LoginPicture {
  DUPixel* pixels;  // pool, or null when the picture is missing
  DUSize size;
  UINTN byte_size;
};

struct LoginPictures {
  LoginPicture pictures[kLoginPictureCount];
};

// Archives shared by the users of one window, loaded on first use.
struct LoginStaticArchives {
  EFI_FILE_PROTOCOL* root;   // where the archives are found
  Archive* unknown_user;     // "unknown_userUI.efires"
  Archive* disk_password;    // "disk_passwordUI.efires"
  Archive* guest;            // "guest_userUI.efires"
};

struct LoginUserRef {
  const LodestoreUser* source;  // null for the guest
  UINT32 type;
  UINT32 name_count;
  const LodestoreUserName* names;  // the first is the login name
  LodestoreUserName special_name;  // the one name of a special type
  BOOLEAN logged_in;               // drawn with the logged-in avatars
  BOOLEAN external_key;
  Archive* archive;                // the user's pictures (owned: its own or merged)
  LoginPictures* pictures;
  LoginUserRef* override_user;     // the user who forgot the password (master / recovery)
};

// Completes a reference for type: names, archive (the user's data merged before the type's
// archive), pictures. A null source is allowed (the guest). 0, or 1 when memory runs out.
UINTN LoginUserRefCreate(const LodestoreUser* source, UINT32 type, BOOLEAN logged_in, LoginStaticArchives* statics,
                         LoginUserRef** out);
void LoginUserRefDestroy(LoginUserRef* user);
// Frees the static archives.
void LoginStaticArchivesFree(LoginStaticArchives* statics);

// The picture of a slot, null when the user has none.
const LoginPicture* LoginUserPicture(const LoginUserRef* user, UINT32 slot);

// Sorts by first name, byte by byte (capitals before small letters). Stops, logged, at a
// user without names.
void _LoginUISortUsersAlphabetically(const LodestoreUser** users, UINT32 count);

// The recovery key as the key file stores it: '0' -> 'O', '1' and 'l' -> 'L', 'S' -> '5'.
void LoginNormaliseRecoveryKey(CHAR16* text);

// Voxlet name lookup: equal lengths and equal bytes once bit 0x20 is set in both (names cut
// to 1023 bytes).
bool LoginNameMatches(const LodestoreUserName& name, const char* typed, UINTN typed_length);
// Type-select: typed is non-empty, no longer than the name and equal to its beginning once
// bit 0x20 is set in both.
bool LoginNamePrefixMatches(const LodestoreUserName& name, const char* typed, UINTN typed_length);
// True when any name of user matches (exact lookup or prefix).
bool LoginUserNameMatches(const LoginUserRef* user, const char* typed, UINTN typed_length, bool prefix);
