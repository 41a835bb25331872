// Where the image is: "boot-image" names the partition and, in a file-path node, the byte
// offset of the image header in hexadecimal, optionally followed by ":" and the UUID of the
// encrypted volume the image belongs to.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/block_io.h"
#include "efi/protocols/device_path.h"
#include "files/partition_disk_io.h"

struct BootImageLocation {
  UINT64 header_offset;
  bool has_volume_uuid;
  UINT8 volume_uuid[16];  // bytes in text order
};

// Parses the file-path node text (length characters, no terminator needed). EFI_INVALID_PARAMETER
// when it is not hexadecimal digits, optionally followed by ":" and an 8-4-4-4-12 UUID.
EFI_STATUS ParseBootImageText(const CHAR16* text, UINTN length, BootImageLocation* location);

struct BootImage {
  EFI_DEVICE_PATH_PROTOCOL* device_path;  // pool copy of "boot-image"
  UINTN device_path_size;
  EFI_HANDLE partition;
  EFI_BLOCK_IO_PROTOCOL* block_io;
  EFI_DISK_IO_PROTOCOL* disk_io;  // the firmware's, or partition_io's adapter (the image must not move)
  PartitionDiskIo partition_io;
  CHAR16 file_text[64];     // the first file-path node's text, copied out of the path
  UINTN file_text_length;   // characters; 64 when the node holds more than fits
};

// Reads "boot-image", finds the partition handle through Block I/O (connecting every
// controller once when it is not found at first), takes its Disk I/O (or, on firmware without
// one, byte access over its Block I/O) and Block I/O and the first file-path node.
// EFI_NOT_FOUND without such a node. Free with BootImageClose.
EFI_STATUS OpenBootImage(BootImage* image);
void BootImageClose(BootImage* image);

// Copies the text of the first media file-path node of a path of size bytes into text
// (capacity characters, up to the first NUL); *length is capacity when it did not fit. False
// when the path has no such node.
bool BootImageFileNode(const EFI_DEVICE_PATH_PROTOCOL* path, UINTN size, CHAR16* text, UINTN capacity, UINTN* length);
