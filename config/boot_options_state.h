// What the options reading keeps for the rest of the boot; shared by the boot_options files.
#pragma once

#include "config/boot_options.h"

struct BootOptionsState {
  char* commandLine;                        // pool, or null while unset
  PlistNode* config;                        // the boot configuration dictionary
  CHAR16* kernelCachePath;
  CHAR16* kernelCacheSuffix;
  CHAR16* ramDiskPath;
  EFI_DEVICE_PATH_PROTOCOL* ramDiskDevicePath;
  UINT8* kernelCacheData;
  UINTN kernelCacheDataSize;
  UINT32 csrActiveConfig;
  bool platformCheck;
  bool panicReport;
};

extern BootOptionsState gBootOptions;

// Frees what an earlier ProcessOptions left; the two switches stay as they are.
void BootOptionsRelease();
