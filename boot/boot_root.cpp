#include "boot/boot_root.h"

#include "output/console.h"
#include "memory/memory.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

const CHAR16* const kBootRootNames[3] = {u"com.tarn.boot.R", u"com.tarn.boot.P", u"com.tarn.boot.S"};
constexpr UINTN kR = 0, kP = 1, kS = 2;
constexpr UINTN kNone = 3;

EFI_FILE_PROTOCOL* OpenForReading(EFI_FILE_PROTOCOL* parent, const CHAR16* name) {
  EFI_FILE_PROTOCOL* handle = nullptr;
  if (EFI_ERROR(parent->Open(parent, &handle, name, EFI_FILE_MODE_READ, 0))) return nullptr;
  return handle;
}

// Which of R, P and S wins for the ones that exist.
UINTN ChooseBootRoot(bool r, bool p, bool s) {
  if (r && p && s) {
    ConsolePrint("WARNING: all of R,P,S exist: booting from 'R'\n");
    return kR;
  }
  if (r && p) return kP;
  if (p && s) return kS;
  if (r) return kR;
  if (p) return kP;
  if (s) return kS;
  return kNone;
}

bool IsSeparator(CHAR16 c) { return c == u'\\' || c == u'/'; }

}  // namespace

EFI_STATUS SelectBootRootDirectory(EFI_FILE_PROTOCOL* volume_root, EFI_FILE_PROTOCOL** directory) {
  EFI_FILE_PROTOCOL* opened[3];
  for (UINTN i = 0; i < 3; ++i) opened[i] = OpenForReading(volume_root, kBootRootNames[i]);
  UINTN chosen = ChooseBootRoot(opened[kR], opened[kP], opened[kS]);
  for (UINTN i = 0; i < 3; ++i) {
    if (opened[i] && i != chosen) opened[i]->Close(opened[i]);
  }
  if (chosen == kNone) return EFI_NOT_FOUND;
  *directory = opened[chosen];
  return EFI_SUCCESS;
}

EFI_STATUS OpenKeyFileDirectory(EFI_FILE_PROTOCOL* volume_root, const CHAR16* booter_path,
                                EFI_FILE_PROTOCOL** directory) {
  if (!booter_path || !IsSeparator(booter_path[0])) return EFI_NOT_FOUND;
  UINTN length = StrLen16(booter_path);
  UINTN last = length - 1;
  while (last > 0 && !IsSeparator(booter_path[last])) --last;
  // "\" alone, or a name right under the root, gives "."; the firmware wants "\" separators.
  auto* path = static_cast<CHAR16*>(PoolAllocateZero((last > 0 ? last + 1 : 2) * sizeof(CHAR16)));
  if (!path) return EFI_OUT_OF_RESOURCES;
  if (last == 0) {
    path[0] = u'.';
  } else {
    for (UINTN i = 0; i < last; ++i) path[i] = booter_path[i] == u'/' ? u'\\' : booter_path[i];
  }
  EFI_FILE_PROTOCOL* folder = OpenForReading(volume_root, path);
  PoolFree(path);
  if (!folder) return EFI_NOT_FOUND;
  EFI_FILE_PROTOCOL* key_file = OpenForReading(folder, u"EncryptedRoot.plist.wipekey");
  if (!key_file) {
    folder->Close(folder);
    return EFI_NOT_FOUND;
  }
  key_file->Close(key_file);
  *directory = folder;
  return EFI_SUCCESS;
}
