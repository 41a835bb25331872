// Bounded walking and building of device paths. Paths come from the firmware and from
// variables, so every walk is limited to a byte count and treats a malformed node as the end.
#pragma once

#include "efi/protocols/device_path.h"
#include "lib/span.h"

// How far a walk over a path of unknown size may go. Real paths are far shorter; the limit only
// stops a path without an end node from being followed through memory indefinitely.
constexpr UINTN kDevicePathMaxBytes = 0x10000;

// The node at offset in path. False when the path ends there: at an end-of-entire-path node, at
// a node whose length is below its 4-byte header, or at a node that would run past the bytes.
bool DevicePathNodeAt(ByteSpan path, size_t offset, ByteSpan* node);

// Bytes of path before its end-of-entire-path node (0 for a null path).
UINTN DevicePathPayloadSize(const EFI_DEVICE_PATH_PROTOCOL* path, UINTN max_bytes = kDevicePathMaxBytes);

// A new pool copy of path followed by a media file-path node for file_name and an end node;
// with a null path, just the file-path node and the end node. Null when the name is too long
// for a node (32764 characters at most) or memory runs out. The caller frees it with PoolFree.
EFI_DEVICE_PATH_PROTOCOL* AppendFilePathNode(const EFI_DEVICE_PATH_PROTOCOL* path, const CHAR16* file_name);
