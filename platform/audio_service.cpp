#include "platform/audio_service.h"

#include "efi/protocols/tarn_audio.h"
#include "platform/serial_output.h"
#include "platform/sound_cue.h"

namespace {

struct AudioState {
  bool requested = false;
  UINT32 play_ms = kAudioDefaultPlayMilliseconds;
  bool installed = false;
  EFI_HANDLE handle = nullptr;
  EFI_EVENT timer = nullptr;    // signalled when the current sound has "played"
  bool playing = false;         // a sound was started and its time has not run out
  int reported = -1;            // the IsPlaying answer last reported for this sound (-1: none)
  TarnAudioProtocol protocol{};
};
AudioState gAudio;

PlatformText Line() { return PlatformText().Add("platform: audio: "); }

bool StillPlaying() {
  if (gAudio.playing && gAudio.timer && gBS->CheckEvent(gAudio.timer) == EFI_SUCCESS) gAudio.playing = false;
  return gAudio.playing;
}

EFI_STATUS EFIAPI PlaySound(TarnAudioProtocol*, const VOID* sound, UINTN size) {
  if (!sound || size == 0) {
    SerialWriteLine(Line().Add("PlaySound refused: no sound"));
    return EFI_INVALID_PARAMETER;
  }
  ByteSpan bytes(sound, size);
  char cue[64];
  PlatformText line = Line();
  line.Add("PlaySound ").AddDecimal(size).Add(" bytes, crc32 ").AddHex(SoundCrc32(bytes), 8);
  line.Add(", cue ").Add(SoundCueName(bytes, cue, sizeof(cue)) ? cue : "(unnamed)");
  SerialWriteLine(line);
  gAudio.playing = true;
  gAudio.reported = -1;
  // Without a timer the sound ends at once; IsPlaying then answers "finished".
  if (!gAudio.timer || EFI_ERROR(gBS->SetTimer(gAudio.timer, TimerRelative, UINT64(gAudio.play_ms) * 10000))) {
    gAudio.playing = false;
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI IsPlaying(TarnAudioProtocol*, BOOLEAN* playing) {
  if (!playing) return EFI_INVALID_PARAMETER;
  bool now = StillPlaying();
  *playing = now ? TRUE : FALSE;
  // Callers poll; one line per change keeps the log readable.
  if (gAudio.reported != int(now)) {
    gAudio.reported = int(now);
    SerialWriteLine(Line().Add("IsPlaying: ").Add(now ? "playing" : "finished"));
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Beep(TarnAudioProtocol*, UINT32 count, UINT64 tone, UINT64 pause, UINT32 reserved) {
  SerialWriteLine(Line()
                      .Add("Beep count ")
                      .AddDecimal(count)
                      .Add(", tone ")
                      .AddDecimal(tone)
                      .Add(", pause ")
                      .AddDecimal(pause)
                      .Add(", reserved ")
                      .AddDecimal(reserved));
  return EFI_SUCCESS;
}

}  // namespace

void AudioServiceRequest(UINT32 milliseconds) {
  gAudio.requested = true;
  gAudio.play_ms = milliseconds;
}

EFI_STATUS InstallAudioService() {
  if (!gAudio.requested) return EFI_NOT_FOUND;
  if (gAudio.installed) return EFI_ALREADY_STARTED;
  gAudio.protocol = TarnAudioProtocol{PlaySound, IsPlaying, Beep};
  gAudio.handle = nullptr;
  if (EFI_ERROR(gBS->CreateEvent(EVT_TIMER, TPL_CALLBACK, nullptr, nullptr, &gAudio.timer))) gAudio.timer = nullptr;
  EFI_STATUS status = gBS->InstallProtocolInterface(&gAudio.handle, &kTarnHighDefinitionAudioProtocolGuid,
                                                    EFI_NATIVE_INTERFACE, &gAudio.protocol);
  if (EFI_ERROR(status)) {
    if (gAudio.timer) gBS->CloseEvent(gAudio.timer);
    gAudio.timer = nullptr;
    return status;
  }
  gAudio.installed = true;
  SerialWriteLine(PlatformText().Add("platform: audio installed (a sound plays for ").AddDecimal(gAudio.play_ms).Add(" ms)"));
  return EFI_SUCCESS;
}

void RemoveAudioService() {
  if (gAudio.installed) {
    gBS->UninstallProtocolInterface(gAudio.handle, &kTarnHighDefinitionAudioProtocolGuid, &gAudio.protocol);
  }
  if (gAudio.timer) gBS->CloseEvent(gAudio.timer);
  gAudio = AudioState{};
}
