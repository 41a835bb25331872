#include "platform/variable_setter.h"

#include "efi/protocols/block_io.h"
#include "efi/protocols/device_path.h"
#include "lib/mem.h"
#include "memory/owners.h"
#include "platform/serial_output.h"

namespace {

constexpr UINTN kPathLimit = 1024;
constexpr UINT8 kHardDriveSubtype = 1;

// Bytes of a device path before its end node; 0 when it is malformed or too long.
UINTN PathPayload(const EFI_DEVICE_PATH_PROTOCOL* path, const EFI_DEVICE_PATH_PROTOCOL** last) {
  UINTN size = 0;
  *last = nullptr;
  while (size < kPathLimit) {
    const EFI_DEVICE_PATH_PROTOCOL* node =
        reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(reinterpret_cast<const UINT8*>(path) + size);
    if (IsDevicePathEnd(node)) return size;
    UINTN length = DevicePathNodeLength(node);
    if (length < 4) return 0;
    *last = node;
    size += length;
  }
  return 0;
}

// The device path of partition `number` (a hard-drive node of that number ends the path), a
// file-path node holding text, and the end node, into out; its size, or 0 when no partition
// matches or it does not fit.
UINTN PartitionFilePath(UINT32 number, const uint8_t* text, size_t text_size, UINT8* out, UINTN capacity) {
  HandleBuffer handles;
  if (EFI_ERROR(handles.Locate(kEfiBlockIoProtocolGuid))) return 0;
  UINTN result = 0;
  for (UINTN i = 0; i < handles.count() && !result; ++i) {
    EFI_DEVICE_PATH_PROTOCOL* path = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiDevicePathProtocolGuid, reinterpret_cast<void**>(&path)))) {
      continue;
    }
    const EFI_DEVICE_PATH_PROTOCOL* last = nullptr;
    UINTN payload = PathPayload(path, &last);
    if (!payload || !last || last->Type != MEDIA_DEVICE_PATH || last->SubType != kHardDriveSubtype ||
        DevicePathNodeLength(last) < 8 || LoadLe32(reinterpret_cast<const UINT8*>(last) + 4) != number) {
      continue;
    }
    UINTN node = 4 + 2 * (text_size + 1);
    if (payload + node + 4 > capacity) break;
    MemCopy(out, path, payload);
    UINT8* file = out + payload;
    file[0] = MEDIA_DEVICE_PATH;
    file[1] = MEDIA_FILEPATH_DP;
    StoreLe16(file + 2, static_cast<UINT16>(node));
    for (size_t c = 0; c < text_size; ++c) StoreLe16(file + 4 + 2 * c, text[c]);
    StoreLe16(file + node - 2, 0);
    UINT8* end = file + node;
    end[0] = END_DEVICE_PATH_TYPE;
    end[1] = END_ENTIRE_DEVICE_PATH_SUBTYPE;
    StoreLe16(end + 2, 4);
    result = payload + node + 4;
  }
  return result;
}

}  // namespace

EFI_STATUS SetSettingsVariable(const SettingsVariable& variable) {
  const void* value = variable.value;
  size_t value_size = variable.value_size;
  UINT8 path[kPathLimit + 600];
  EFI_STATUS status = EFI_NOT_FOUND;
  if (variable.partition) {
    value_size = PartitionFilePath(variable.partition, variable.value, variable.value_size, path, sizeof(path));
    value = path;
  }
  // An empty value deletes the variable, as SetVariable defines.
  if (!variable.partition || value_size) {
    status = gRT->SetVariable(variable.name, &variable.vendor, variable.attributes, value_size, const_cast<void*>(value));
  }
  PlatformText line;
  line.Add("platform: variable ").AddUcs2(variable.name);
  if (EFI_ERROR(status)) {
    line.Add(" not set: ").AddStatus(status);
  } else if (value_size == 0) {
    line.Add(" deleted");
  } else {
    line.Add(" set (").AddDecimal(value_size).Add(value_size == 1 ? " byte)" : " bytes)");
  }
  SerialWriteLine(line);
  return status;
}
