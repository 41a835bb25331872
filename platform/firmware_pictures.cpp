#include "platform/firmware_pictures.h"

#include "efi/protocols/firmware_volume.h"
#include "efi/protocols/loaded_image.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "platform/serial_output.h"
#include "platform/volume_files.h"

namespace {

// A picture is a few kilobytes; anything this large is not one.
constexpr UINTN kMaxPictureSize = 4 * 1024 * 1024;
constexpr UINTN kRecordSize = 80;
constexpr UINTN kNameChars = 32;

struct Picture {
  SettingsFirmwarePicture request;
  EFI_GUID file;
  void* data;  // pool, owned here
  UINTN size;
};

struct PictureState {
  Picture pictures[kFirmwarePicturesMax];
  UINTN requested;
  UINT8 directory[(kFirmwarePicturesMax + 1) * kRecordSize];
  UINTN directory_size;
  bool installed;
  EFI_HANDLE handle;
  EFI_FIRMWARE_VOLUME2_PROTOCOL protocol;
};
PictureState gPictures = {};

void ResetPictureState() { gPictures = {}; }
HEARTH_HOST_RESET(ResetPictureState);

// Each picture's file GUID: the directory's with the picture's number in the last byte.
EFI_GUID PictureGuid(UINTN index) {
  EFI_GUID guid = kFirmwarePictureDirectoryGuid;
  guid.Data4[7] = UINT8(0xA0 + index);
  return guid;
}

bool SameGuid(const EFI_GUID* a, const EFI_GUID& b) { return MemCompare(a, &b, sizeof(EFI_GUID)) == 0; }

// Hands out a pool copy, as a firmware volume does; the caller frees it.
EFI_STATUS CopyOut(const void* data, UINTN size, VOID** buffer, UINTN* buffer_size) {
  if (*buffer) {
    // A caller's own buffer: filled as far as it goes.
    if (*buffer_size < size) {
      MemCopy(*buffer, data, *buffer_size);
      *buffer_size = size;
      return EFI_WARN_BUFFER_TOO_SMALL;
    }
  } else if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, size, buffer))) {
    return EFI_OUT_OF_RESOURCES;
  }
  MemCopy(*buffer, data, size);
  *buffer_size = size;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ReadFile(const EFI_FIRMWARE_VOLUME2_PROTOCOL*, const EFI_GUID*, VOID**, UINTN*, EFI_FV_FILETYPE*,
                           EFI_FV_FILE_ATTRIBUTES*, UINT32*) {
  return EFI_NOT_FOUND;  // only sections are served
}

EFI_STATUS EFIAPI ReadSection(const EFI_FIRMWARE_VOLUME2_PROTOCOL*, const EFI_GUID* name, EFI_SECTION_TYPE type,
                              UINTN instance, VOID** buffer, UINTN* buffer_size, UINT32* authentication) {
  if (!name || !buffer || !buffer_size || !authentication) return EFI_INVALID_PARAMETER;
  *authentication = 0;
  const void* data = nullptr;
  UINTN size = 0;
  const char* what = nullptr;
  if (SameGuid(name, kFirmwarePictureDirectoryGuid)) {
    data = gPictures.directory;
    size = gPictures.directory_size;
    what = "GuidList";
  } else {
    for (UINTN i = 0; i < gPictures.requested; ++i) {
      const Picture& p = gPictures.pictures[i];
      if (p.data && SameGuid(name, p.file)) {
        data = p.data;
        size = p.size;
        what = p.request.name;
      }
    }
  }
  if (!data) return EFI_NOT_FOUND;
  if (type != EFI_SECTION_RAW || instance != 0) return EFI_NOT_FOUND;
  EFI_STATUS status = CopyOut(data, size, buffer, buffer_size);
  SerialWriteLine(PlatformText()
                      .Add("platform: firmware pictures: read ")
                      .Add(what)
                      .Add(" (")
                      .AddDecimal(size)
                      .Add(" bytes)"));
  return status;
}

void AddRecord(const EFI_GUID& file, const char* name) {
  UINT8* record = gPictures.directory + gPictures.directory_size;
  MemZero(record, kRecordSize);
  MemCopy(record, &file, sizeof(EFI_GUID));
  for (UINTN i = 0; i + 1 < kNameChars && name[i]; ++i) StoreLe16(record + sizeof(EFI_GUID) + 2 * i, UINT8(name[i]));
  gPictures.directory_size += kRecordSize;
}

}  // namespace

EFI_STATUS FirmwarePictureRequest(const SettingsFirmwarePicture& picture) {
  if (gPictures.requested == kFirmwarePicturesMax) return EFI_OUT_OF_RESOURCES;
  gPictures.pictures[gPictures.requested++].request = picture;
  return EFI_SUCCESS;
}

EFI_STATUS InstallFirmwarePictures() {
  if (gPictures.requested == 0) return EFI_NOT_FOUND;
  if (gPictures.installed) return EFI_ALREADY_STARTED;
  EFI_LOADED_IMAGE_PROTOCOL* image = nullptr;
  EFI_STATUS found = gBS->HandleProtocol(gImageHandle, &kEfiLoadedImageProtocolGuid, reinterpret_cast<void**>(&image));
  if (EFI_ERROR(found)) return found;
  if (!image || !image->DeviceHandle) return EFI_NOT_FOUND;
  EFI_HANDLE own_volume = image->DeviceHandle;
  gPictures.directory_size = 0;
  for (UINTN i = 0; i < gPictures.requested; ++i) {
    Picture& p = gPictures.pictures[i];
    PoolBuffer contents;
    UINTN size = 0;
    EFI_STATUS status = ReadVolumeFile(own_volume, p.request.path, kMaxPictureSize, &contents, &size);
    PlatformText line;
    line.Add("platform: firmware picture ").Add(p.request.name);
    if (EFI_ERROR(status) || size == 0) {
      SerialWriteLine(line.Add(" not read: ").AddStatus(EFI_ERROR(status) ? status : EFI_END_OF_FILE));
      continue;
    }
    if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, size, &p.data))) {
      p.data = nullptr;
      SerialWriteLine(line.Add(" not kept: ").AddStatus(EFI_OUT_OF_RESOURCES));
      continue;
    }
    MemCopy(p.data, contents.get(), size);
    p.size = size;
    p.file = PictureGuid(i);
    AddRecord(p.file, p.request.name);
    SerialWriteLine(line.Add(" (").AddDecimal(size).Add(" bytes)"));
  }
  MemZero(gPictures.directory + gPictures.directory_size, kRecordSize);  // the empty record ends the list
  gPictures.directory_size += kRecordSize;
  gPictures.protocol = EFI_FIRMWARE_VOLUME2_PROTOCOL{};
  gPictures.protocol.ReadFile = ReadFile;
  gPictures.protocol.ReadSection = ReadSection;
  gPictures.handle = nullptr;
  EFI_STATUS status = gBS->InstallProtocolInterface(&gPictures.handle, &kEfiFirmwareVolume2ProtocolGuid,
                                                    EFI_NATIVE_INTERFACE, &gPictures.protocol);
  if (EFI_ERROR(status)) return status;
  gPictures.installed = true;
  return EFI_SUCCESS;
}

void RemoveFirmwarePictures() {
  if (gPictures.installed) {
    gBS->UninstallProtocolInterface(gPictures.handle, &kEfiFirmwareVolume2ProtocolGuid, &gPictures.protocol);
  }
  for (UINTN i = 0; i < gPictures.requested; ++i) {
    if (gPictures.pictures[i].data) gBS->FreePool(gPictures.pictures[i].data);
  }
  gPictures = {};
}
