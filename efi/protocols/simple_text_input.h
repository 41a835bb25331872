// Simple text input protocol and its extended form.
#pragma once

#include "efi/types.h"

constexpr EFI_GUID kEfiSimpleTextInputProtocolGuid = {0x387477C1, 0x69C7, 0x11D2, {0x8E, 0x39, 0x00, 0xA0, 0xC9, 0x69, 0x72, 0x3B}};
constexpr EFI_GUID kEfiSimpleTextInputExProtocolGuid = {0xDD9E7534, 0x7762, 0x4698, {0x8C, 0x14, 0xF5, 0x85, 0x17, 0xA6, 0x25, 0xAA}};

struct EFI_INPUT_KEY {
  UINT16 ScanCode;
  CHAR16 UnicodeChar;
};

struct EFI_SIMPLE_TEXT_INPUT_PROTOCOL {
  EFI_STATUS(EFIAPI* Reset)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* This, BOOLEAN ExtendedVerification);
  EFI_STATUS(EFIAPI* ReadKeyStroke)(EFI_SIMPLE_TEXT_INPUT_PROTOCOL* This, EFI_INPUT_KEY* Key);
  EFI_EVENT WaitForKey;
};

struct EFI_KEY_STATE {
  UINT32 KeyShiftState;
  UINT8 KeyToggleState;
};

struct EFI_KEY_DATA {
  EFI_INPUT_KEY Key;
  EFI_KEY_STATE KeyState;
};

struct EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL {
  EFI_STATUS(EFIAPI* Reset)(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL* This, BOOLEAN ExtendedVerification);
  EFI_STATUS(EFIAPI* ReadKeyStrokeEx)(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL* This, EFI_KEY_DATA* KeyData);
  EFI_EVENT WaitForKeyEx;
  EFI_STATUS(EFIAPI* SetState)(EFI_SIMPLE_TEXT_INPUT_EX_PROTOCOL* This, UINT8* KeyToggleState);
  VOID* RegisterKeyNotify;
  VOID* UnregisterKeyNotify;
};
