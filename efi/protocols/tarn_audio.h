// The maker's high-definition audio protocol: the login window's spoken cues, and its beeps
// where the machine has no beep protocol.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnHighDefinitionAudioProtocolGuid = {
    0x3224B169, 0xEC34, 0x46D2, {0xB7, 0x79, 0xE1, 0xB1, 0x68, 0x7F, 0x52, 0x5F}};

struct TarnAudioProtocol {
  // Starts playing a sound entry of "sound.efires" (its bytes as stored) and returns at once.
  EFI_STATUS(EFIAPI* PlaySound)(TarnAudioProtocol* This, const VOID* Sound, UINTN SoundSize);
  // TRUE while a sound started by PlaySound is still playing.
  EFI_STATUS(EFIAPI* IsPlaying)(TarnAudioProtocol* This, BOOLEAN* Playing);
  // Count tones of ToneLength with Pause between them; Reserved is 0.
  EFI_STATUS(EFIAPI* Beep)(TarnAudioProtocol* This, UINT32 Count, UINT64 ToneLength, UINT64 Pause,
                           UINT32 Reserved);
};
static_assert(sizeof(TarnAudioProtocol) == 24);
TARN_OPERATION(TarnAudioProtocol, PlaySound, 1);
TARN_OPERATION(TarnAudioProtocol, IsPlaying, 2);
TARN_OPERATION(TarnAudioProtocol, Beep, 3);
