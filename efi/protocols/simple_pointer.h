// Simple pointer protocol (mice and trackpads).
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiSimplePointerProtocolGuid = {0x31878C87, 0x0B75, 0x11D5, {0x9A, 0x4F, 0x00, 0x90, 0x27, 0x3F, 0xC1, 0x4D}};

struct EFI_SIMPLE_POINTER_STATE {
  INT32 RelativeMovementX;
  INT32 RelativeMovementY;
  INT32 RelativeMovementZ;
  BOOLEAN LeftButton;
  BOOLEAN RightButton;
};

struct EFI_SIMPLE_POINTER_MODE {
  UINT64 ResolutionX;
  UINT64 ResolutionY;
  UINT64 ResolutionZ;
  BOOLEAN LeftButton;
  BOOLEAN RightButton;
};

struct EFI_SIMPLE_POINTER_PROTOCOL {
  EFI_STATUS(EFIAPI* Reset)(EFI_SIMPLE_POINTER_PROTOCOL* This, BOOLEAN ExtendedVerification);
  EFI_STATUS(EFIAPI* GetState)(EFI_SIMPLE_POINTER_PROTOCOL* This, EFI_SIMPLE_POINTER_STATE* State);
  EFI_EVENT WaitForInput;
  EFI_SIMPLE_POINTER_MODE* Mode;
};
