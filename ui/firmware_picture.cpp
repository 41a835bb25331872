#include "ui/firmware_picture.h"

#include "efi/protocols/firmware_volume.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "output/ascii_format.h"

namespace {

// True when the record's name (bounded to its 32 characters) equals name.
bool NameIs(const UINT8* record_name, const char* name) {
  for (UINTN i = 0; i < kPictureDirectoryNameChars; ++i) {
    UINT16 c = LoadLe16(record_name + 2 * i);
    if (c != UINT8(name[i])) return false;
    if (c == 0) return true;
  }
  return false;  // a name that fills the whole field has no terminator: it matches nothing
}

}  // namespace

EFI_STATUS FirmwarePictureDirectoryFind(ByteSpan directory, const char* name, EFI_GUID* out_guid) {
  if (!name || !out_guid) return EFI_INVALID_PARAMETER;
  for (size_t at = 0; directory.Contains(at, kPictureDirectoryRecordSize); at += kPictureDirectoryRecordSize) {
    const UINT8* record = directory.data() + at;
    if (LoadLe16(record + sizeof(EFI_GUID)) == 0) break;  // an empty name ends the list
    if (NameIs(record + sizeof(EFI_GUID), name)) {
      MemCopy(out_guid, record, sizeof(EFI_GUID));
      return EFI_SUCCESS;
    }
  }
  return EFI_NOT_FOUND;
}

EFI_STATUS FirmwarePictureDirectoryLookup(ByteSpan directory, const char* name, UINT32 scale, EFI_GUID* out_guid,
                                          BOOLEAN* scaled) {
  if (!name || !out_guid || !scaled) return EFI_INVALID_PARAMETER;
  *scaled = FALSE;
  if (scale >= 2) {
    char scaled_name[kPictureDirectoryNameChars + 8];
    if (AsciiSNPrint(scaled_name, sizeof(scaled_name), "%s_%dx", name, scale) < sizeof(scaled_name) - 1 &&
        FirmwarePictureDirectoryFind(directory, scaled_name, out_guid) == EFI_SUCCESS) {
      *scaled = TRUE;
      return EFI_SUCCESS;
    }
  }
  return FirmwarePictureDirectoryFind(directory, name, out_guid);
}

EFI_STATUS ReadFirmwarePicture(const EFI_GUID* file, void** out_data, UINTN* out_size) {
  if (!file || !out_data || !out_size) return EFI_INVALID_PARAMETER;
  *out_data = nullptr;
  *out_size = 0;
  HandleBuffer handles;
  EFI_STATUS status = handles.Locate(kEfiFirmwareVolume2ProtocolGuid);
  if (EFI_ERROR(status)) return status;
  status = EFI_NOT_FOUND;
  for (UINTN i = 0; i < handles.count(); ++i) {
    EFI_FIRMWARE_VOLUME2_PROTOCOL* volume = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiFirmwareVolume2ProtocolGuid, reinterpret_cast<VOID**>(&volume))) ||
        !volume) {
      continue;
    }
    void* data = nullptr;
    UINTN size = 0;
    UINT32 authentication = 0;
    status = volume->ReadSection(volume, file, EFI_SECTION_RAW, 0, &data, &size, &authentication);
    if (status == EFI_NOT_FOUND) continue;
    // The volume allocated it; tracked, the caller frees it like any other block (untracked,
    // it is freed at once).
    if (!EFI_ERROR(status)) status = PoolTrack(data);
    if (!EFI_ERROR(status)) {
      *out_data = data;
      *out_size = size;
    }
    break;
  }
  return status;
}
