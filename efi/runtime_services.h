// EFI runtime services table.
#pragma once

#include "efi/system_table.h"

struct EFI_MEMORY_DESCRIPTOR;

constexpr UINT32 EFI_VARIABLE_NON_VOLATILE = 0x1;
constexpr UINT32 EFI_VARIABLE_BOOTSERVICE_ACCESS = 0x2;
constexpr UINT32 EFI_VARIABLE_RUNTIME_ACCESS = 0x4;

enum EFI_RESET_TYPE : UINT32 {
  EfiResetCold = 0,
  EfiResetWarm = 1,
  EfiResetShutdown = 2,
  EfiResetPlatformSpecific = 3,
};

constexpr UINT64 EFI_RUNTIME_SERVICES_SIGNATURE = 0x56524553544e5552ULL;  // "RUNTSERV"

struct EFI_RUNTIME_SERVICES {
  EFI_TABLE_HEADER Hdr;

  EFI_STATUS(EFIAPI* GetTime)(EFI_TIME* Time, EFI_TIME_CAPABILITIES* Capabilities);
  EFI_STATUS(EFIAPI* SetTime)(EFI_TIME* Time);
  EFI_STATUS(EFIAPI* GetWakeupTime)(BOOLEAN* Enabled, BOOLEAN* Pending, EFI_TIME* Time);
  EFI_STATUS(EFIAPI* SetWakeupTime)(BOOLEAN Enable, EFI_TIME* Time);

  EFI_STATUS(EFIAPI* SetVirtualAddressMap)(UINTN MemoryMapSize, UINTN DescriptorSize, UINT32 DescriptorVersion,
                                           EFI_MEMORY_DESCRIPTOR* VirtualMap);
  EFI_STATUS(EFIAPI* ConvertPointer)(UINTN DebugDisposition, VOID** Address);

  EFI_STATUS(EFIAPI* GetVariable)(const CHAR16* VariableName, const EFI_GUID* VendorGuid, UINT32* Attributes,
                                  UINTN* DataSize, VOID* Data);
  EFI_STATUS(EFIAPI* GetNextVariableName)(UINTN* VariableNameSize, CHAR16* VariableName, EFI_GUID* VendorGuid);
  EFI_STATUS(EFIAPI* SetVariable)(const CHAR16* VariableName, const EFI_GUID* VendorGuid, UINT32 Attributes,
                                  UINTN DataSize, const VOID* Data);

  EFI_STATUS(EFIAPI* GetNextHighMonotonicCount)(UINT32* HighCount);
  VOID(EFIAPI* ResetSystem)(EFI_RESET_TYPE ResetType, EFI_STATUS ResetStatus, UINTN DataSize, VOID* ResetData);

  VOID* UpdateCapsule;
  VOID* QueryCapsuleCapabilities;
  EFI_STATUS(EFIAPI* QueryVariableInfo)(UINT32 Attributes, UINT64* MaximumVariableStorageSize,
                                        UINT64* RemainingVariableStorageSize, UINT64* MaximumVariableSize);
};
static_assert(offsetof(EFI_RUNTIME_SERVICES, GetVariable) == 72);
static_assert(sizeof(EFI_RUNTIME_SERVICES) == 136);
