// Absolute pointer protocol (touch screens, tablets).
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiAbsolutePointerProtocolGuid = {0x8D59D32B, 0xC655, 0x4AE9, {0x9B, 0x15, 0xF2, 0x59, 0x04, 0x99, 0x2A, 0x43}};

constexpr UINT32 EFI_ABSP_TouchActive = 0x00000001;
constexpr UINT32 EFI_ABS_AltActive = 0x00000002;

struct EFI_ABSOLUTE_POINTER_STATE {
  UINT64 CurrentX;
  UINT64 CurrentY;
  UINT64 CurrentZ;
  UINT32 ActiveButtons;
};

struct EFI_ABSOLUTE_POINTER_MODE {
  UINT64 AbsoluteMinX;
  UINT64 AbsoluteMinY;
  UINT64 AbsoluteMinZ;
  UINT64 AbsoluteMaxX;
  UINT64 AbsoluteMaxY;
  UINT64 AbsoluteMaxZ;
  UINT32 Attributes;
};

struct EFI_ABSOLUTE_POINTER_PROTOCOL {
  EFI_STATUS(EFIAPI* Reset)(EFI_ABSOLUTE_POINTER_PROTOCOL* This, BOOLEAN ExtendedVerification);
  EFI_STATUS(EFIAPI* GetState)(EFI_ABSOLUTE_POINTER_PROTOCOL* This, EFI_ABSOLUTE_POINTER_STATE* State);
  EFI_EVENT WaitForInput;
  EFI_ABSOLUTE_POINTER_MODE* Mode;
};
