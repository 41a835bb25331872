// The boot-mode flag word shared by every stage.
#pragma once

#include "efi/types.h"

constexpr UINT64 kBootModeSafe = 0x1;
constexpr UINT64 kBootModeVerbose = 0x2;
constexpr UINT64 kBootModeNetBoot = 0x4;
constexpr UINT64 kBootModeSingleUser = 0x10;
constexpr UINT64 kBootModeGraphicsConsole = 0x20;
constexpr UINT64 kBootModeFirmwarePassword = 0x40;
constexpr UINT64 kBootModeDebug = 0x80;
constexpr UINT64 kBootModeEncryptedRoot = 0x100;
constexpr UINT64 kBootModeEncryptedConfig = 0x200;
constexpr UINT64 kBootModeKeyX = 0x400;
constexpr UINT64 kBootModeRecoveryRequested = 0x800;
constexpr UINT64 kBootModeRecovery = 0x1000;
constexpr UINT64 kBootModeHibernate = 0x2000;
constexpr UINT64 kBootModeSlide = 0x4000;
constexpr UINT64 kBootModeBlackMode = 0x10000;
constexpr UINT64 kBootModeReleaseKernelCache = 0x20000;
constexpr UINT64 kBootModeBlackBackground = 0x40000;

extern UINT64 BootModeFlags;

// The Mach-O CPU subtype that picks the kernel slice: 3 (generic) or 8 (the "h" variant).
extern UINT32 CpuSubtype;
