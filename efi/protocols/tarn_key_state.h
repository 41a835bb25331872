// The maker's key state protocol: the modifiers and keys held down right now.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnKeyStateProtocolGuid = {0x5B213447, 0x6E73, 0x4901, {0xA4, 0xF1, 0xB8, 0x64, 0xF3, 0xB7, 0xA1, 0x72}};

// Modifier bits (USB HID modifier byte order): left and right of each kind.
constexpr UINT16 kTarnKeyModifierShift = 0x22;
constexpr UINT16 kTarnKeyModifierCommand = 0x88;

// Key codes: USB HID keyboard-page usages plus 0x7000.
constexpr UINT16 kTarnKeyC = 0x7006;
constexpr UINT16 kTarnKeyK = 0x700E;
constexpr UINT16 kTarnKeyR = 0x7015;
constexpr UINT16 kTarnKeyS = 0x7016;
constexpr UINT16 kTarnKeyV = 0x7019;
constexpr UINT16 kTarnKeyX = 0x701B;
constexpr UINT16 kTarnKeyMinus = 0x702D;

struct TarnKeyStateProtocol {
  VOID* Operation1;
  // *key_count holds the room in keys on entry and the keys written on return.
  EFI_STATUS(EFIAPI* ReadKeyState)(TarnKeyStateProtocol* This, UINT16* modifiers, UINTN* key_count, CHAR16* keys);
};
static_assert(sizeof(TarnKeyStateProtocol) == 16);
TARN_OPERATION(TarnKeyStateProtocol, ReadKeyState, 2);
