// Reads a hibernation image back into memory and hands the machine to the operating
// system's restore code. Returns only when the image cannot be resumed; the caller then
// restarts the machine.
#pragma once

#include "efi/efi.h"
#include "hibernate/boot_image.h"
#include "efi/protocols/tarn_block_read.h"

struct RestoreRequest {
  const BootImage* image;
  TarnBlockReadProtocol* block_read;  // optional
  UINT64 header_offset;
  UINT8* key;  // zeroed once expanded
  UINTN key_length;
  bool encrypted_volume;  // the image belongs to an encrypted volume (never a dark wake, lock state 4)
  UINT32 now;             // seconds since 1970, 0 when unknown
  UINT64 check_tsc;       // time-stamp counter at "CheckHibernate"
  UINT64 delay_ticks;     // graphics delay in time-stamp counter ticks, 0 for none
  UINT32 wake_clock;      // SMC CLWK x 10
};

// The status says why the image was not resumed.
EFI_STATUS RestoreHibernateImage(const RestoreRequest& request);

// The sum the restore code is checked with: for page i of count pages, the 32-bit word at
// index (i + index_base) mod 1024 of that page.
UINT32 RestoreCodeSum(const UINT8* code, UINT32 page_count, UINT64 index_base);
