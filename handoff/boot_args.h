// The boot-arguments block: 4096 bytes in the kernel region, the only pointer the kernel
// receives. The layout is fixed; every field's offset is checked below.
#pragma once

#include "efi/types.h"

struct BootVideo {
  UINT32 baseAddress;
  UINT32 displayMode;  // 1 graphics, 2 text
  UINT32 rowBytes;
  UINT32 width;
  UINT32 height;
  UINT32 depth;
};

#pragma pack(push, 4)
struct BootArgs {
  UINT16 revision;
  UINT16 version;
  UINT8 efiMode;
  UINT8 reserved1;
  UINT16 flags;
  char commandLine[1024];
  UINT32 memoryMap;
  UINT32 memoryMapSize;
  UINT32 memoryMapDescriptorSize;
  UINT32 memoryMapDescriptorVersion;
  BootVideo video;
  UINT32 deviceTree;
  UINT32 deviceTreeLength;
  UINT32 kernelAddress;
  UINT32 kernelSize;
  UINT32 runtimePageStart;
  UINT32 runtimePageCount;
  UINT64 runtimeVirtualPageStart;
  UINT32 systemTable;
  UINT32 kernelSlide;
  UINT32 performanceDataStart;
  UINT32 performanceDataSize;
  UINT32 keyStoreDataStart;
  UINT32 keyStoreDataSize;
  UINT64 reserved2;
  UINT64 reserved3;
  UINT64 physicalMemorySize;
  UINT64 fsbFrequency;
  UINT64 pciConfigBase;
  UINT32 pciConfigStartBus;
  UINT32 pciConfigEndBus;
  UINT32 csrActiveConfig;
  UINT32 reserved4;
  UINT32 smcPowerLimit;
  UINT16 progressMeterStart;
  UINT16 progressMeterEnd;
  UINT8 reserved5[4096 - 1192];
};
#pragma pack(pop)

static_assert(sizeof(BootArgs) == 4096);
static_assert(offsetof(BootArgs, flags) == 6);
static_assert(offsetof(BootArgs, commandLine) == 8);
static_assert(offsetof(BootArgs, memoryMap) == 1032);
static_assert(offsetof(BootArgs, video) == 1048);
static_assert(offsetof(BootArgs, deviceTree) == 1072);
static_assert(offsetof(BootArgs, runtimeVirtualPageStart) == 1096);
static_assert(offsetof(BootArgs, systemTable) == 1104);
static_assert(offsetof(BootArgs, keyStoreDataSize) == 1124);
static_assert(offsetof(BootArgs, physicalMemorySize) == 1144);
static_assert(offsetof(BootArgs, pciConfigBase) == 1160);
static_assert(offsetof(BootArgs, csrActiveConfig) == 1176);
static_assert(offsetof(BootArgs, smcPowerLimit) == 1184);
static_assert(offsetof(BootArgs, progressMeterStart) == 1188);
static_assert(offsetof(BootArgs, progressMeterEnd) == 1190);

constexpr UINT16 kBootArgsFlagAlways = 0x1;
constexpr UINT16 kBootArgsFlagHiDpi = 0x2;
constexpr UINT16 kBootArgsFlagBlackMode = 0x4;
constexpr UINT16 kBootArgsFlagCsrActiveConfig = 0x8;
constexpr UINT16 kBootArgsFlagInitial = 0x30;
constexpr UINT16 kBootArgsFlagBlackBackground = 0x40;
constexpr UINT16 kBootArgsFlagInstallPhase = 0x100;
