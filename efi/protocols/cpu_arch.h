// The processor architectural protocol of the platform initialisation standard; the loader
// only reads its timer.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiCpuArchProtocolGuid = {0x26BACCB1, 0x6F42, 0x11D4, {0xBC, 0xE7, 0x00, 0x80, 0xC7, 0x3C, 0x88, 0x81}};

struct EFI_CPU_ARCH_PROTOCOL;

// TimerPeriod (optional) receives the length of one tick in femtoseconds.
typedef EFI_STATUS(EFIAPI* EFI_CPU_GET_TIMER_VALUE)(EFI_CPU_ARCH_PROTOCOL* This, UINT32 TimerIndex,
                                                    UINT64* TimerValue, UINT64* TimerPeriod);

struct EFI_CPU_ARCH_PROTOCOL {
  VOID* FlushDataCache;
  VOID* EnableInterrupt;
  VOID* DisableInterrupt;
  VOID* GetInterruptState;
  VOID* Init;
  VOID* RegisterInterruptHandler;
  EFI_CPU_GET_TIMER_VALUE GetTimerValue;
  VOID* SetMemoryAttributes;
  UINT32 NumberOfTimers;
  UINT32 DmaBufferAlignment;
};
static_assert(offsetof(EFI_CPU_ARCH_PROTOCOL, GetTimerValue) == 48);
static_assert(sizeof(EFI_CPU_ARCH_PROTOCOL) == 72);
