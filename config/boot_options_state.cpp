#include "config/boot_options_state.h"

#include "memory/memory.h"
#include "lib/host_reset.h"

BootOptionsState gBootOptions = {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, true, true};

namespace {

void ResetBootOptions() { gBootOptions = BootOptionsState{nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, true, true}; }
HEARTH_HOST_RESET(ResetBootOptions);

template <typename T>
void FreeAndClear(T** p) {
  PoolFree(*p);
  *p = nullptr;
}

}  // namespace

void BootOptionsRelease() {
  FreeAndClear(&gBootOptions.commandLine);
  FreeAndClear(&gBootOptions.kernelCachePath);
  FreeAndClear(&gBootOptions.kernelCacheSuffix);
  FreeAndClear(&gBootOptions.ramDiskPath);
  FreeAndClear(&gBootOptions.ramDiskDevicePath);
  FreeAndClear(&gBootOptions.kernelCacheData);
  gBootOptions.kernelCacheDataSize = 0;
  gBootOptions.csrActiveConfig = 0;
  if (gBootOptions.config) PlistFree(gBootOptions.config);
  gBootOptions.config = nullptr;
}

const char* KernelCommandLine() { return gBootOptions.commandLine ? gBootOptions.commandLine : ""; }
const PlistNode* BootConfigDictionary() { return gBootOptions.config; }
const CHAR16* KernelCachePathOverride() { return gBootOptions.kernelCachePath; }
const CHAR16* KernelCacheSuffix() { return gBootOptions.kernelCacheSuffix; }
const CHAR16* RamDiskPath() { return gBootOptions.ramDiskPath; }
EFI_DEVICE_PATH_PROTOCOL* RamDiskDevicePath() { return gBootOptions.ramDiskDevicePath; }

void KernelCacheLocationData(const UINT8** data, UINTN* size) {
  *data = gBootOptions.kernelCacheData;
  *size = gBootOptions.kernelCacheDataSize;
}

UINT32 CsrActiveConfig() { return gBootOptions.csrActiveConfig; }
bool PlatformCheckEnabled() { return gBootOptions.platformCheck; }
void DisablePlatformCheck() { gBootOptions.platformCheck = false; }
bool PanicReportEnabled() { return gBootOptions.panicReport; }
