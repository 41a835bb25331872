// Multiprocessor services protocol.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiMpServiceProtocolGuid = {0x3FDDA605, 0xA76E, 0x4F46, {0xAD, 0x29, 0x12, 0xF4, 0x53, 0x1B, 0x3D, 0x08}};

typedef VOID(EFIAPI* EFI_AP_PROCEDURE)(VOID* ProcedureArgument);

struct EFI_CPU_PHYSICAL_LOCATION {
  UINT32 Package;
  UINT32 Core;
  UINT32 Thread;
};

struct EFI_PROCESSOR_INFORMATION {
  UINT64 ProcessorId;
  UINT32 StatusFlag;
  EFI_CPU_PHYSICAL_LOCATION Location;
};

constexpr UINT32 PROCESSOR_AS_BSP_BIT = 0x1;
constexpr UINT32 PROCESSOR_ENABLED_BIT = 0x2;
constexpr UINT32 PROCESSOR_HEALTH_STATUS_BIT = 0x4;

struct EFI_MP_SERVICES_PROTOCOL {
  EFI_STATUS(EFIAPI* GetNumberOfProcessors)(EFI_MP_SERVICES_PROTOCOL* This, UINTN* NumberOfProcessors,
                                            UINTN* NumberOfEnabledProcessors);
  EFI_STATUS(EFIAPI* GetProcessorInfo)(EFI_MP_SERVICES_PROTOCOL* This, UINTN ProcessorNumber,
                                       EFI_PROCESSOR_INFORMATION* ProcessorInfoBuffer);
  EFI_STATUS(EFIAPI* StartupAllAPs)(EFI_MP_SERVICES_PROTOCOL* This, EFI_AP_PROCEDURE Procedure, BOOLEAN SingleThread,
                                    EFI_EVENT WaitEvent, UINTN TimeoutInMicroSeconds, VOID* ProcedureArgument,
                                    UINTN** FailedCpuList);
  EFI_STATUS(EFIAPI* StartupThisAP)(EFI_MP_SERVICES_PROTOCOL* This, EFI_AP_PROCEDURE Procedure,
                                    UINTN ProcessorNumber, EFI_EVENT WaitEvent, UINTN TimeoutInMicroseconds,
                                    VOID* ProcedureArgument, BOOLEAN* Finished);
  EFI_STATUS(EFIAPI* SwitchBSP)(EFI_MP_SERVICES_PROTOCOL* This, UINTN ProcessorNumber, BOOLEAN EnableOldBSP);
  EFI_STATUS(EFIAPI* EnableDisableAP)(EFI_MP_SERVICES_PROTOCOL* This, UINTN ProcessorNumber, BOOLEAN EnableAP,
                                      UINT32* HealthFlag);
  EFI_STATUS(EFIAPI* WhoAmI)(EFI_MP_SERVICES_PROTOCOL* This, UINTN* ProcessorNumber);
};
