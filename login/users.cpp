#include "login/users.h"

#include "diag/log.h"
#include "draw/log_error.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "ui/archive_files.h"
#include "ui/archive_image.h"

namespace {

constexpr UINTN kMaxNameBytes = 1023;

const char* const kAvatarNames[2][4] = {
    {"avatar.png", "avatar_pressed.png", "avatar_sel.png", "avatar_sel_pressed.png"},
    {"avatar_loggedin.png", "avatar_loggedin_pressed.png", "avatar_sel_loggedin.png",
     "avatar_sel_loggedin_pressed.png"},
};
// Pictures without the unknown-user fallback, from kLoginPictureBackUp on.
const char* const kOtherNames[] = {"avatar_back_up.png",        "avatar_back_down.png",
                                   "password_hint.png",         "serial_record_numbers.png",
                                   "recovery_popmsg_call_someone_else.png", "transparent.png"};

const char* SpecialName(UINT32 type) {
  switch (type) {
    case kLoginUserMaster: return "@@master";
    case kLoginUserDisk: return "@@disk";
    case kLoginUserRecovery: return "@@recovery";
    case kLoginUserGuest: return "@@guest";
    default: return nullptr;
  }
}

Archive* LoadStatic(LoginStaticArchives* statics, Archive** slot, const CHAR16* name, const char* text) {
  if (!*slot && statics && statics->root) {
    if (LWCreateLocalizedArchiveAdv(statics->root, name, slot, nullptr) != 0) {
      DULogError("_LoginUICreateStaticUserIfNeeded", "LWCreateLocalizedArchive failed to load %s\n", text);
      *slot = nullptr;
    }
  }
  return *slot;
}

Archive* ArchiveForType(LoginStaticArchives* statics, UINT32 type) {
  if (!statics) return nullptr;
  switch (type) {
    case kLoginUserUnknown:
      return LoadStatic(statics, &statics->unknown_user, u"unknown_userUI.efires", "unknown_userUI.efires");
    case kLoginUserDisk:
      return LoadStatic(statics, &statics->disk_password, u"disk_passwordUI.efires", "disk_passwordUI.efires");
    case kLoginUserGuest:
      return LoadStatic(statics, &statics->guest, u"guest_userUI.efires", "guest_userUI.efires");
    default: return nullptr;
  }
}

bool LoadPicture(const Archive* archive, const char* name, LoginPicture* out) {
  if (!archive) return false;
  return ArchiveCopyPNGImage(archive, name, &out->pixels, &out->size, &out->byte_size, FALSE) == 0;
}

// An avatar missing from the user's archive comes from the unknown-user archive.
void LoadWithFallback(const Archive* archive, LoginStaticArchives* statics, const char* name, LoginPicture* out) {
  if (LoadPicture(archive, name, out)) return;
  Archive* fallback = statics ? ArchiveForType(statics, kLoginUserUnknown) : nullptr;
  if (!fallback) {
    DULogError("_ArchiveCopyPNGImageWithFallbackArchive", "loginUI->unknownUserArchive is NULL\n");
    return;
  }
  if (!LoadPicture(fallback, name, out)) {
    DULogError("_ArchiveCopyPNGImageWithFallbackArchive", "Even fallback archive doesn't have file: %s\n", name);
  }
}

UINT8 Fold(UINT8 byte) { return UINT8(byte | 0x20); }

bool FoldedEqual(const UINT8* a, const char* b, UINTN length) {
  for (UINTN i = 0; i < length; ++i) {
    if (Fold(a[i]) != Fold(UINT8(b[i]))) return false;
  }
  return true;
}

// Byte order; a name that is a beginning of the other sorts first.
int CompareNames(const LodestoreUserName& a, const LodestoreUserName& b) {
  UINT32 common = a.length < b.length ? a.length : b.length;
  int order = MemCompare(a.bytes, b.bytes, common);
  if (order != 0) return order;
  return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
}

// Stable partition around the middle user, both sides sorted the same way. False when a
// user without names stopped it.
bool SortRange(const LodestoreUser** users, UINT32 count, const LodestoreUser** scratch) {
  if (count < 2) return true;
  const LodestoreUser* pivot = users[count / 2];
  if (!pivot) {
    DULogError("_LoginUISortUsersAlphabetically", "pivotUser is NULL, impossible to sort\n");
    return false;
  }
  if (pivot->name_count == 0 || !pivot->names) {
    DULogError("_LoginUISortUsersAlphabetically", "pivotUser->NumberOfNames is 0, impossible to sort\n");
    return false;
  }
  UINT32 front = 0;
  for (UINT32 i = 0; i < count; ++i) {
    if (i == count / 2) continue;
    if (!users[i] || users[i]->name_count == 0 || !users[i]->names) {
      DULogError("_LoginUISortUsersAlphabetically", "user_i->NumberOfNames is 0, impossible to sort\n");
      return false;
    }
    if (CompareNames(users[i]->names[0], pivot->names[0]) < 0) scratch[front++] = users[i];
  }
  UINT32 back = front + 1;
  scratch[front] = pivot;
  for (UINT32 i = 0; i < count; ++i) {
    if (i != count / 2 && CompareNames(users[i]->names[0], pivot->names[0]) >= 0) scratch[back++] = users[i];
  }
  MemCopy(users, scratch, count * sizeof(users[0]));
  return SortRange(users, front, scratch) && SortRange(users + front + 1, count - front - 1, scratch);
}

}  // namespace

UINTN LoginUserRefCreate(const LodestoreUser* source, UINT32 type, BOOLEAN logged_in, LoginStaticArchives* statics,
                         LoginUserRef** out) {
  auto* user = static_cast<LoginUserRef*>(PoolAllocateZero(sizeof(LoginUserRef)));
  if (!user) {
    DULogError("_AugmentLoginUIUserRefWithUserType", "sourceUser is NULL\n");
    return 1;
  }
  user->source = source;
  user->type = type;
  user->logged_in = logged_in;
  user->external_key = source ? source->external_key : 0;
  if (const char* special = SpecialName(type)) {
    user->special_name = LodestoreUserName{reinterpret_cast<const UINT8*>(special), UINT32(AsciiStrLen(special))};
    user->names = &user->special_name;
    user->name_count = 1;
  } else if (type == kLoginUserNormal && source) {
    user->names = source->names;
    user->name_count = source->names ? source->name_count : 0;
  }
  // The user's own pictures come first; the type's archive fills in what they lack.
  Archive* own = nullptr;
  if (source && source->picture && source->picture_length) {
    if (ArchiveCreate(source->picture, source->picture_length, &own) != 0) own = nullptr;
  } else if (type == kLoginUserNormal) {
    LogMessage(kLogCategoryError, "No ResourcesData was given for user, using unknownUserArchive\n");
  }
  Archive* typed = ArchiveForType(statics, type == kLoginUserNormal && !own ? kLoginUserUnknown : type);
  if (own && typed) {
    Archive* merged = nullptr;
    if (ArchiveCreateWithArchives(own, typed, &merged) == 0) {
      ArchiveDestroy(own);
      own = merged;
    }
  }
  user->archive = own;
  const Archive* pictures_from = own ? own : typed;
  user->pictures = static_cast<LoginPictures*>(PoolAllocateZero(sizeof(LoginPictures)));
  if (user->pictures) {
    for (UINT32 i = 0; i < 4; ++i) {
      LoadWithFallback(pictures_from, statics, kAvatarNames[logged_in ? 1 : 0][i], &user->pictures->pictures[i]);
    }
    for (UINT32 i = 0; i < sizeof(kOtherNames) / sizeof(kOtherNames[0]); ++i) {
      LoadPicture(pictures_from, kOtherNames[i], &user->pictures->pictures[kLoginPictureBackUp + i]);
    }
  }
  *out = user;
  return 0;
}

void LoginUserRefDestroy(LoginUserRef* user) {
  if (!user) return;
  if (user->pictures) {
    for (LoginPicture& picture : user->pictures->pictures) {
      if (picture.pixels) PoolFree(picture.pixels);
    }
    PoolFree(user->pictures);
  }
  ArchiveDestroy(user->archive);
  PoolFree(user);
}

void LoginStaticArchivesFree(LoginStaticArchives* statics) {
  if (!statics) return;
  ArchiveDestroy(statics->unknown_user);
  ArchiveDestroy(statics->disk_password);
  ArchiveDestroy(statics->guest);
  statics->unknown_user = statics->disk_password = statics->guest = nullptr;
}

const LoginPicture* LoginUserPicture(const LoginUserRef* user, UINT32 slot) {
  if (!user || !user->pictures || slot >= kLoginPictureCount) return nullptr;
  const LoginPicture* picture = &user->pictures->pictures[slot];
  return picture->pixels ? picture : nullptr;
}

void _LoginUISortUsersAlphabetically(const LodestoreUser** users, UINT32 count) {
  if (!users || count < 2) return;
  auto** scratch = static_cast<const LodestoreUser**>(PoolAllocate(count * sizeof(users[0])));
  if (!scratch) return;
  // A partition that stops half-way leaves the array a permutation of what it was.
  (void)SortRange(users, count, scratch);
  PoolFree(scratch);
}

void LoginNormaliseRecoveryKey(CHAR16* text) {
  for (; text && *text; ++text) {
    switch (*text) {
      case u'0': *text = u'O'; break;
      case u'1':
      case u'l': *text = u'L'; break;
      case u'S': *text = u'5'; break;
      default: break;
    }
  }
}

bool LoginNameMatches(const LodestoreUserName& name, const char* typed, UINTN typed_length) {
  UINTN length = name.length > kMaxNameBytes ? kMaxNameBytes : name.length;
  return name.bytes && typed && length == typed_length && FoldedEqual(name.bytes, typed, length);
}

bool LoginNamePrefixMatches(const LodestoreUserName& name, const char* typed, UINTN typed_length) {
  UINTN length = name.length > kMaxNameBytes ? kMaxNameBytes : name.length;
  return name.bytes && typed && typed_length > 0 && typed_length <= length && FoldedEqual(name.bytes, typed, typed_length);
}

bool LoginUserNameMatches(const LoginUserRef* user, const char* typed, UINTN typed_length, bool prefix) {
  if (!user || !user->names) return false;
  for (UINT32 i = 0; i < user->name_count; ++i) {
    if (prefix ? LoginNamePrefixMatches(user->names[i], typed, typed_length)
               : LoginNameMatches(user->names[i], typed, typed_length)) {
      return true;
    }
  }
  return false;
}
