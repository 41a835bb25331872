// What the kernel cache load leaves for the device tree: the path of the file and the
// Adler-32 of its uncompressed contents. Read through kernel/kernel_cache.h.
#pragma once

#include "efi/types.h"

// Takes ownership of a pool string (null forgets the path); the previous one is freed.
void KernelCacheRememberBootFile(CHAR16* path);
void KernelCacheRememberAdler32(UINT32 adler);
