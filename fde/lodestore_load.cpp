#include "fde/lodestore_load.h"

#include "crypto/wipe.h"
#include "crypto/xts.h"
#include "diag/fatal.h"
#include "diag/log.h"
#include "fde/lodestore_partition.h"
#include "fde/lodestore_users.h"
#include "files/boot_file.h"
#include "flags/boot_mode.h"
#include "memory/memory.h"
#include "output/console.h"

namespace {

constexpr UINTN kLastLoginIdentMax = 128;

// The key file, read whole. EFI_NOT_FOUND for an empty file.
EFI_STATUS ReadKeyFile(EFI_FILE_PROTOCOL* root, UINT8** file, UINTN* size) {
  UINT64 length = 0;
  void* buffer = nullptr;
  EFI_STATUS status = LoadWholeFile(nullptr, root, kKeyFileCachePath, nullptr, &length, &buffer);
  if (EFI_ERROR(status)) status = LoadWholeFile(nullptr, root, kKeyFileRootPath, nullptr, &length, &buffer);
  if (EFI_ERROR(status)) return status;
  if (length == 0 || !buffer) {
    PoolFree(buffer);
    return EFI_NOT_FOUND;
  }
  *file = static_cast<UINT8*>(buffer);
  *size = static_cast<UINTN>(length);
  return EFI_SUCCESS;
}

// "last-oslogin-ident" as text, or false.
bool ReadLastLoginIdent(char* ident, UINTN capacity) {
  UINTN size = capacity - 1;
  if (EFI_ERROR(gRT->GetVariable(u"last-oslogin-ident", &kLodestoreLoginGuid, nullptr, &size, ident))) return false;
  ident[size] = 0;
  return true;
}

EFI_STATUS OpenHeaderKey(const LodestoreLoadInputs& in, VolumeHeaderKey* key) {
  EFI_HANDLE partition = nullptr;
  EFI_STATUS status = FindLodestorePartition(in.boot_device_path, &partition);
  if (status == EFI_NO_MEDIA) FatalError("Could not get boot device partition ID\n");
  if (EFI_ERROR(status)) FatalError("Can't get Lodestore partition EFI handle\n");
  return ReadLodestoreVolumeHeader(partition, key);
}

}  // namespace

EFI_STATUS DecryptKeyFile(UINT8* file, UINTN size, const VolumeHeaderKey& key) {
  if (key.key_kind != kVolumeKeyKindXts) return EFI_SUCCESS;
  XtsContext* xts = static_cast<XtsContext*>(PoolAllocateZero(sizeof(XtsContext)));
  if (!xts) return EFI_OUT_OF_RESOURCES;
  const UINT8 zero[kVolumeHeaderMaxKey] = {};
  EFI_STATUS status = EFI_SUCCESS;
  if (XtsSetKey(0, key.key, key.key_length, zero, xts) != kXtsOk || XtsDecrypt(file, size, file, zero, xts) != kXtsOk) {
    status = EFI_VOLUME_CORRUPTED;
  }
  XtsClear(xts);
  PoolFreeSecret(xts, sizeof(XtsContext));
  CryptoWipeStack();
  return status;
}

EFI_STATUS ParseKeyFile(char* text, UINTN size, const char* last_login_ident, LodestoreConfig* config) {
  *config = {};
  if (EFI_ERROR(PlistParseDictionary(text, size, &config->root)) || !config->root) {
    if (BootModeFlags & kBootModeVerbose) ConsolePrint("Failed to parse EncryptedRoot plist\n");
    config->root = nullptr;
    return EFI_INVALID_PARAMETER;
  }
  EFI_STATUS status = BuildLodestoreUsers(config, last_login_ident);
  if (EFI_ERROR(status)) LodestoreConfigFree(config);
  return status;
}

EFI_STATUS LoadLodestoreConfiguration(const LodestoreLoadInputs& in) {
  if (in.load_file) return EFI_NOT_FOUND;
  UINT8* file = nullptr;
  UINTN size = 0;
  EFI_STATUS status = ReadKeyFile(in.root, &file, &size);
  if (EFI_ERROR(status)) return status;
  VolumeHeaderKey key;
  status = OpenHeaderKey(in, &key);
  if (!EFI_ERROR(status)) status = DecryptKeyFile(file, size, key);
  CryptoWipe(&key, sizeof(key));
  char last_login[kLastLoginIdentMax];
  const char* last_login_ident = in.hibernate_pending && ReadLastLoginIdent(last_login, sizeof(last_login)) ? last_login
                                                                                                           : nullptr;
  LodestoreState& s = Lodestore();
  if (!EFI_ERROR(status)) {
    LodestoreConfigFree(&s.config);
    status = ParseKeyFile(reinterpret_cast<char*>(file), size, last_login_ident, &s.config);
  }
  PoolFreeSecret(file, size);
  s.loaded = !EFI_ERROR(status);
  if (EFI_ERROR(status)) LogMessage(kLogCategoryError, "LoadLodestoreConfiguration: 0x%lx\n", status);
  return status;
}
