// The Voxlet pane's spoken cues ("sound.efires" through the firmware's audio protocol) and
// its beeps (the beep generator, else the audio protocol).
#include "draw/log_error.h"
#include "efi/protocols/tarn_audio.h"
#include "efi/protocols/tarn_beep.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "login/window_internal.h"
#include "ui/archive_files.h"
#include "ui/run_loop.h"
#include "ui/timer.h"

namespace {

TarnAudioProtocol* Audio(LWSounds* sounds) {
  if (!sounds->audio_looked_up) {
    sounds->audio_looked_up = TRUE;
    void* interface = nullptr;
    EFI_STATUS status = gBS->LocateProtocol(&kTarnHighDefinitionAudioProtocolGuid, nullptr, &interface);
    if (EFI_ERROR(status)) {
      DULogError("_LW_VoxletPlaySound", "gTarnHighDefinitionAudioProtocolGuid not found:%d\n", INT32(status));
      interface = nullptr;
    }
    sounds->audio = static_cast<TarnAudioProtocol*>(interface);
  }
  return sounds->audio;
}

bool Playing(TarnAudioProtocol* audio) {
  BOOLEAN playing = FALSE;
  return !EFI_ERROR(audio->IsPlaying(audio, &playing)) && playing;
}

void Play(LoginWindow* lw, const char* name) {
  TarnAudioProtocol* audio = lw->sounds.audio;
  const void* data = nullptr;
  UINT32 length = 0;
  UINT32 result = ArchiveGetData(lw->sounds.archive, name, FALSE, &data, &length, FALSE);
  if (result != 0) {
    DULogError("_LW_VoxletPlaySound", "ArchiveGetData failed for %s result:%d\n", name, INT32(result));
    return;
  }
  audio->PlaySound(audio, data, length);
}

EFI_STATUS DrainDeferred(RunLoop*, void* context, UINTN);

void EFIAPI DrainTimer(EFI_EVENT, void* context) {
  RunLoopExecuteDeferredFunc(DrainDeferred, context, 0, "_LW_VoxletSoundQueue");
}

// The oldest waiting sound starts once the one before it has ended.
EFI_STATUS DrainDeferred(RunLoop*, void* context, UINTN) {
  auto* lw = static_cast<LoginWindow*>(context);
  LWSounds& s = lw->sounds;
  if (s.queued == 0 || !s.audio) {
    TimerRelease(&s.drain_timer);
    return EFI_SUCCESS;
  }
  if (Playing(s.audio)) return EFI_SUCCESS;  // the periodic timer comes back
  char next[kArchiveNameSize];
  MemCopy(next, s.queue[0], sizeof(next));
  for (UINT32 i = 1; i < s.queued; ++i) MemCopy(s.queue[i - 1], s.queue[i], sizeof(next));
  --s.queued;
  Play(lw, next);
  return EFI_SUCCESS;
}

}  // namespace

void _LW_VoxletPlaySound(LoginWindow* lw, const char* name) {
  LWSounds& s = lw->sounds;
  if (!Audio(&s)) return;
  if (!s.archive_tried) {
    s.archive_tried = TRUE;
    if (!lw->root || LWCreateLocalizedArchiveAdv(lw->root, u"sound.efires", &s.archive, nullptr) != 0) {
      DULogError("_LW_VoxletPlaySound", "Could not load sound.efires\n");
      s.archive = nullptr;
    }
  }
  if (!s.archive) return;
  if (s.queued == 0 && !Playing(s.audio)) {
    Play(lw, name);
    return;
  }
  // Only the last five requests wait.
  UINTN length = AsciiStrLen(name);
  if (length >= kArchiveNameSize) return;  // no entry has such a name
  if (s.queued == kLWSoundQueueLength) {
    for (UINT32 i = 1; i < s.queued; ++i) MemCopy(s.queue[i - 1], s.queue[i], kArchiveNameSize);
    --s.queued;
  }
  MemCopy(s.queue[s.queued++], name, length + 1);
  if (!s.drain_timer) s.drain_timer = TimerCreate(DrainTimer, lw, 100 * kTimerUnitsPerMillisecond, TRUE);
}

void _LW_Beep(LoginWindow* lw, UINT32 count) {
  LWSounds& s = lw->sounds;
  // The older models that want 200000 / 150000 are not told apart yet.
  const UINT64 tone = 200, pause = 150;
  if (!s.beep_looked_up) {
    s.beep_looked_up = TRUE;
    void* interface = nullptr;
    if (EFI_ERROR(gBS->LocateProtocol(&kTarnBeepGenProtocolGuid, nullptr, &interface))) interface = nullptr;
    s.beep = static_cast<TarnBeepGenProtocol*>(interface);
  }
  if (s.beep) {
    s.beep->Prepare(s.beep, 1, 0, 400);
    EFI_STATUS status = s.beep->Beep(s.beep, count, tone, pause);
    if (EFI_ERROR(status)) DULogError("_LW_Beep", "Cannot BeepGen->TarnBeepGenBeep with err: %d\n", INT32(status));
    return;
  }
  TarnAudioProtocol* audio = Audio(&s);
  if (!audio) {
    DULogError("_LW_Beep", "Cannot located protocol for BeepGen: %d\n", INT32(EFI_NOT_FOUND));
    return;
  }
  audio->Beep(audio, count, tone, pause, 0);
}

void LWSoundsRelease(LoginWindow* lw) {
  TimerDestroy(lw->sounds.drain_timer);
  ArchiveDestroy(lw->sounds.archive);
  lw->sounds = LWSounds{};
}
