// The maker's high-definition audio protocol on generic firmware (`audio` in platform.cfg):
// nothing is heard; every request is reported on the serial port in one line, so that a
// scenario can follow the login window's spoken cues and beeps:
//   platform: audio: PlaySound 43342 bytes, crc32 0x8F1E22A0, cue Username
//   platform: audio: IsPlaying: playing            (then "finished", once each per sound)
//   platform: audio: Beep count 3, tone 200, pause 150, reserved 0
// A sound "plays" for the configured time, measured by a firmware timer.
#pragma once

#include "efi/efi.h"

constexpr UINT32 kAudioDefaultPlayMilliseconds = 300;

// Asks for the stand-in; installed by InstallAudioService. milliseconds: how long IsPlaying
// answers TRUE after a PlaySound.
void AudioServiceRequest(UINT32 milliseconds);

// Installs the protocol when it was requested; EFI_NOT_FOUND when not.
EFI_STATUS InstallAudioService();
void RemoveAudioService();
