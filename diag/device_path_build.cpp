#include "diag/device_path_build.h"

#include "memory/memory.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {
constexpr UINTN kNodeHeaderSize = sizeof(EFI_DEVICE_PATH_PROTOCOL);
constexpr UINT8 kEndNode[4] = {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0};
}  // namespace

bool DevicePathNodeAt(ByteSpan path, size_t offset, ByteSpan* node) {
  uint8_t type = 0;
  uint8_t subtype = 0;
  uint16_t length = 0;
  if (!path.ReadU8(offset, &type) || !path.ReadU8(offset + 1, &subtype) || !path.ReadLe16(offset + 2, &length)) {
    return false;
  }
  if ((type & 0x7F) == END_DEVICE_PATH_TYPE && subtype == END_ENTIRE_DEVICE_PATH_SUBTYPE) return false;
  if (length < kNodeHeaderSize) return false;  // a zero length would never advance
  return path.Slice(offset, length, node);
}

UINTN DevicePathPayloadSize(const EFI_DEVICE_PATH_PROTOCOL* path, UINTN max_bytes) {
  if (!path) return 0;
  ByteSpan bytes(path, max_bytes);
  ByteSpan node;
  size_t offset = 0;
  while (DevicePathNodeAt(bytes, offset, &node)) offset += node.size();
  return offset;
}

EFI_DEVICE_PATH_PROTOCOL* AppendFilePathNode(const EFI_DEVICE_PATH_PROTOCOL* path, const CHAR16* file_name) {
  UINTN name_chars = file_name ? StrLen16(file_name) : 0;
  if (name_chars > (0xFFFF - kNodeHeaderSize) / sizeof(CHAR16) - 1) return nullptr;
  UINTN node_size = kNodeHeaderSize + (name_chars + 1) * sizeof(CHAR16);
  UINTN prefix = DevicePathPayloadSize(path);
  UINT8* out = static_cast<UINT8*>(PoolAllocate(prefix + node_size + sizeof(kEndNode)));
  if (!out) return nullptr;
  if (prefix) MemCopy(out, path, prefix);
  UINT8* node = out + prefix;
  node[0] = MEDIA_DEVICE_PATH;
  node[1] = MEDIA_FILEPATH_DP;
  StoreLe16(node + 2, static_cast<UINT16>(node_size));
  for (UINTN i = 0; i < name_chars; ++i) StoreLe16(node + kNodeHeaderSize + 2 * i, file_name[i]);
  StoreLe16(node + node_size - 2, 0);
  MemCopy(node + node_size, kEndNode, sizeof(kEndNode));
  return reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(out);
}
