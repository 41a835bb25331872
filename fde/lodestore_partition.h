// The encrypted physical volume: the GPT partition just before the boot partition on the
// same disk, and its header at the partition's end (else its start).
#pragma once

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "fde/volume_header.h"
#include "lib/span.h"

// The vendor messaging node whose nodes are compared on their address word only.
constexpr EFI_GUID kLodestoreAddressVendorGuid = {
    0xD487DDB4, 0x008B, 0x11D9, {0xAF, 0xDC, 0x00, 0x10, 0x83, 0xFF, 0xCA, 0x4D}};

// True when candidate names partition target of the disk boot_path's partition lies on:
// the same node count, equal nodes before boot_path's GPT hard-drive node, and a GPT
// hard-drive node of that number in the same place.
bool LodestoreIsPartitionOfBootDisk(ByteSpan candidate, ByteSpan boot_path, UINT32 target);

// The handle of the encrypted physical volume. EFI_NO_MEDIA when the boot path has no GPT
// hard-drive node with a GUID signature, EFI_NOT_FOUND when no block-I/O handle matches.
EFI_STATUS FindLodestorePartition(const EFI_DEVICE_PATH_PROTOCOL* boot_device_path, EFI_HANDLE* partition);

// Reads the volume header of the partition (end, then start) and takes its key.
// EFI_VOLUME_CORRUPTED when neither copy is valid; a read error of the start copy.
EFI_STATUS ReadLodestoreVolumeHeader(EFI_HANDLE partition, VolumeHeaderKey* key);
