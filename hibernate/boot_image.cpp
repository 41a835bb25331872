#include "hibernate/boot_image.h"

#include "diag/device_path_build.h"
#include "flags/guids.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "memory/owners.h"

namespace {

constexpr UINTN kUuidTextLength = 36;
constexpr UINTN kBootImageMaxSize = 1024;

int HexDigit(CHAR16 c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

bool ParseUuid(const CHAR16* text, UINT8 out[16]) {
  UINTN byte = 0;
  for (UINTN i = 0; i < kUuidTextLength;) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != u'-') return false;
      ++i;
      continue;
    }
    int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
    if (high < 0 || low < 0) return false;
    out[byte++] = static_cast<UINT8>(high << 4 | low);
    i += 2;
  }
  return byte == 16;
}

EFI_STATUS FindPartition(EFI_DEVICE_PATH_PROTOCOL* path, EFI_HANDLE* handle) {
  EFI_DEVICE_PATH_PROTOCOL* walk = path;
  EFI_STATUS status = gBS->LocateDevicePath(&kEfiBlockIoProtocolGuid, &walk, handle);
  if (!EFI_ERROR(status)) return status;
  HandleBuffer handles;
  if (!EFI_ERROR(handles.LocateAll())) {
    for (UINTN i = 0; i < handles.count(); ++i) gBS->ConnectController(handles[i], nullptr, nullptr, true);
  }
  walk = path;
  return gBS->LocateDevicePath(&kEfiBlockIoProtocolGuid, &walk, handle);
}

}  // namespace

EFI_STATUS ParseBootImageText(const CHAR16* text, UINTN length, BootImageLocation* location) {
  BootImageLocation parsed{};
  UINTN i = 0;
  for (; i < length && text[i] && text[i] != u':'; ++i) {
    int digit = HexDigit(text[i]);
    if (digit < 0 || parsed.header_offset >> 60) return EFI_INVALID_PARAMETER;
    parsed.header_offset = parsed.header_offset << 4 | UINT64(digit);
  }
  if (i == 0) return EFI_INVALID_PARAMETER;
  if (i < length && text[i] == u':') {
    ++i;
    if (length - i < kUuidTextLength || !ParseUuid(text + i, parsed.volume_uuid)) return EFI_INVALID_PARAMETER;
    i += kUuidTextLength;
    parsed.has_volume_uuid = true;
  }
  if (i < length && text[i]) return EFI_INVALID_PARAMETER;
  *location = parsed;
  return EFI_SUCCESS;
}

bool BootImageFileNode(const EFI_DEVICE_PATH_PROTOCOL* path, UINTN size, CHAR16* text, UINTN capacity,
                       UINTN* length) {
  ByteSpan bytes(path, size);
  ByteSpan node;
  for (size_t offset = 0; DevicePathNodeAt(bytes, offset, &node); offset += node.size()) {
    if (node.data()[0] != MEDIA_DEVICE_PATH || node.data()[1] != MEDIA_FILEPATH_DP) continue;
    UINTN characters = (node.size() - 4) / sizeof(CHAR16);
    UINTN n = 0;
    while (n < characters && n < capacity) {
      CHAR16 c = LoadLe16(node.data() + 4 + 2 * n);
      if (!c) break;
      text[n++] = c;
    }
    *length = n;
    return true;
  }
  return false;
}

EFI_STATUS OpenBootImage(BootImage* image) {
  MemZero(image, sizeof(*image));
  UINTN size = 0;
  EFI_STATUS status = gRT->GetVariable(u"boot-image", &TarnBootGuid, nullptr, &size, nullptr);
  if (status != EFI_BUFFER_TOO_SMALL) return EFI_ERROR(status) ? status : EFI_NOT_FOUND;
  if (size < 4 || size > kBootImageMaxSize) return EFI_NOT_FOUND;
  // Two spare zero bytes keep the path's last node text terminated for the firmware's walk.
  auto* path = static_cast<EFI_DEVICE_PATH_PROTOCOL*>(PoolAllocateZero(size + 8));
  if (!path) return EFI_OUT_OF_RESOURCES;
  status = gRT->GetVariable(u"boot-image", &TarnBootGuid, nullptr, &size, path);
  if (EFI_ERROR(status) || DevicePathPayloadSize(path, size) + 4 > size) {
    PoolFree(path);
    return EFI_ERROR(status) ? status : EFI_NOT_FOUND;
  }
  image->device_path = path;
  image->device_path_size = size;
  if (!BootImageFileNode(path, size, image->file_text, 64, &image->file_text_length)) {
    BootImageClose(image);
    return EFI_NOT_FOUND;
  }
  status = FindPartition(path, &image->partition);
  if (!EFI_ERROR(status)) {
    // U-Boot's UEFI offers no Disk I/O protocol: then byte access over the partition's Block I/O.
    status = PartitionDiskIoOpen(image->partition, &image->partition_io);
    if (!EFI_ERROR(status)) {
      image->block_io = image->partition_io.block;
      image->disk_io = image->partition_io.disk();
    }
  }
  if (EFI_ERROR(status)) BootImageClose(image);
  return status;
}

void BootImageClose(BootImage* image) {
  if (image->device_path) PoolFree(image->device_path);
  MemZero(image, sizeof(*image));
}
