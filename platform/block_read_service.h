// The block-read stand-in: the maker's optional block-read protocol on every whole disk, over
// the disk's Block I/O. A transfer is started by the protocol's first operation and carried
// out piece by piece from a timer callback, so it completes while the caller works on earlier
// data and polls the second operation, as hearth's hibernation read does.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/tarn_block_read.h"

// Bytes read per timer tick.
constexpr UINTN kBlockReadPieceBytes = 256 * 1024;

// The settings asked for the stand-in (`block-read`).
void BlockReadRequest();

// When asked for: installs the protocol on each handle whose Block I/O is a whole disk (not a
// partition), at most 8, and reports how many on the serial port. EFI_NOT_FOUND when not asked
// for or no disk exists.
[[nodiscard]] EFI_STATUS InstallBlockReadService();

// Stops transfers and uninstalls the protocol.
void RemoveBlockReadService();
