// Stand-in for the disk I/O protocol on firmware that offers block I/O alone. U-Boot's UEFI
// installs block I/O on disks and partitions but no disk I/O, which hearth reads the
// encrypted volume's header, the hibernation image and volume identifiers with. The stand-in
// turns byte ranges into block reads and writes, whole blocks straight into the caller's
// buffer when it is aligned, partial ones through a bounce buffer.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/block_io.h"

// Puts a disk I/O protocol on every block I/O handle that lacks one; *installed counts them.
// Handles the firmware already serves are left alone.
[[nodiscard]] EFI_STATUS InstallDiskIoStandIns(UINTN* installed);

// Takes the stand-ins off their handles again and frees them.
void RemoveDiskIoStandIns();
