#include "kernel/kernel_cache_results.h"

#include "memory/memory.h"
#include "kernel/kernel_cache.h"
#include "lib/host_reset.h"

namespace {

CHAR16* gBootFile = nullptr;
UINT32 gAdler32 = 0;

// The test firmware takes the pool block back with everything else.
void ResetResults() {
  gBootFile = nullptr;
  gAdler32 = 0;
}
HEARTH_HOST_RESET(ResetResults);

}  // namespace

void KernelCacheRememberBootFile(CHAR16* path) {
  PoolFree(gBootFile);
  gBootFile = path;
}

void KernelCacheRememberAdler32(UINT32 adler) { gAdler32 = adler; }

const CHAR16* KernelCacheBootFile() { return gBootFile; }

UINT32 KernelCacheAdler32() { return gAdler32; }
