// The hibernation stages of the boot sequence.
#pragma once

#include "efi/types.h"

// "CheckHibernate": true when a resume of an encrypted volume's image waits for its key
// (volume_uuid then holds the volume's UUID). Otherwise it resumes (no return), restarts the
// machine, or returns false when there is nothing to resume.
bool CheckHibernate(UINT8 volume_uuid[16]);

// Completes the image key with the volume key and resumes; never returns (a failed resume
// restarts the machine).
[[noreturn]] void FinishFDEHibernate(const UINT8* volume_key, UINTN key_length);

// Stores the memory region named by "Persistent-memory-note" into the image file, when no
// resume happens. EFI_INVALID_PARAMETER when there is no valid note or image header.
EFI_STATUS StorePersistentMemoryNote();
