#include "graphics/boot_screen.h"

#include "diag/stage.h"
#include "flags/boot_mode.h"
#include "graphics/custom_logo.h"
#include "graphics/display.h"
#include "lib/host_reset.h"
#include "output/console_mode.h"

namespace {

struct Animation {
  Picture frames{};  // every frame stacked vertically
  UINT32 frame_height = 0;
  UINT32 x = 0;
  UINT32 y = 0;
  UINT32 frame = 0;
  EFI_EVENT timer = nullptr;
};
Animation gAnimation;

void ResetAnimation() { gAnimation = Animation(); }
HEARTH_HOST_RESET(ResetAnimation);

bool CanDraw() {
  return GetConsoleMode() == kConsoleModeGraphics && gDisplay.framebuffer_base != 0 &&
         (gDisplay.gop || gDisplay.uga);
}

// Centred: (screen - picture) / 2 in unsigned arithmetic; a picture larger than the screen
// lands off it and the block transfer refuses it.
UINT32 Centre(UINT32 screen, UINT32 size) { return (screen - size) / 2; }

void DrawCentred(const Picture& picture) {
  BlitImage(Centre(gDisplay.width, picture.width), Centre(gDisplay.height, picture.height), picture.width,
            picture.height, picture.pixels);
}

void DrawFrame() {
  const Animation& a = gAnimation;
  BlitImage(a.x, a.y, a.frames.width, a.frame_height,
            a.frames.pixels + UINTN(a.frame) * a.frame_height * a.frames.width);
}

void EFIAPI NextFrame(EFI_EVENT, void*) {
  gAnimation.frame = gAnimation.frame + 1 >= kNetBootFrames ? 0 : gAnimation.frame + 1;
  DrawFrame();
}

void StartNetBootAnimation() {
  Animation& a = gAnimation;
  if (EFI_ERROR(LoadEmbeddedPicture("NetBoot", &a.frames))) return;
  a.frame_height = a.frames.height / kNetBootFrames;
  if (a.frame_height == 0) {
    PictureFree(&a.frames);
    return;
  }
  UINT32 offset = 200 * DisplayScale();
  a.x = Centre(gDisplay.width, a.frames.width);
  a.y = Centre(gDisplay.height, a.frame_height) + offset;
  a.frame = 0;
  DrawFrame();
  EFI_STATUS status = gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_NOTIFY, NextFrame, nullptr, &a.timer);
  if (EFI_ERROR(status)) {
    a.timer = nullptr;
    return;
  }
  if (EFI_ERROR(gBS->SetTimer(a.timer, TimerPeriodic, kNetBootFramePeriod))) {
    gBS->CloseEvent(a.timer);
    a.timer = nullptr;
  }
}

}  // namespace

EFI_STATUS LoadBootLogo(UINT32 mode, Picture* picture) {
  if (!EFI_ERROR(LoadCustomLogo(mode, picture))) return EFI_SUCCESS;
  return LoadEmbeddedPicture(mode == kBootScreenFailed ? "CircleSlash" : "TarnLogo", picture);
}

void DrawBootGraphics(UINT32 mode) {
  if (!CanDraw()) return;
  Picture logo{};
  EFI_STATUS status = LoadBootLogo(mode, &logo);
  if (mode == kBootScreenFailed) {
    if (EFI_ERROR(status)) return;
    FillBackgroundRect(0, 0, gDisplay.width, gDisplay.height);
    DrawCentred(logo);
    PictureFree(&logo);
    return;
  }
  StageMark("Start DrawColorRectangle");
  FillBackgroundRect(0, 0, gDisplay.width, gDisplay.height);
  StageMark("End DrawColorRectangle");
  if (!(BootModeFlags & kBootModeBlackMode) && !EFI_ERROR(status)) {
    StageMark("Start DrawDataRectangle");
    DrawCentred(logo);
    StageMark("End DrawDataRectangle");
    PictureFree(&logo);
    if (BootModeFlags & kBootModeNetBoot) StartNetBootAnimation();
  }
  PictureFree(&logo);
}

bool AnimationRunning() { return gAnimation.timer != nullptr; }

UINT32 AnimationFrame() { return gAnimation.frame; }

void CloseAnimationTimer() {
  if (!gAnimation.timer) return;
  gBS->CloseEvent(gAnimation.timer);
  gAnimation.timer = nullptr;
}

void StopAnimation() {
  CloseAnimationTimer();
  if (!gAnimation.frames.pixels) return;
  FillBackgroundRect(gAnimation.x, gAnimation.y, gAnimation.frames.width, gAnimation.frame_height);
  PictureFree(&gAnimation.frames);
}

EFI_STATUS DrawPanicDialog() {
  if (!gDisplay.gop && !gDisplay.uga) return EFI_NOT_READY;
  Picture dialog{};
  EFI_STATUS status = LoadEmbeddedPicture("PanicDialog", &dialog);
  FillBackgroundRect(0, 0, gDisplay.width, gDisplay.height);
  if (EFI_ERROR(status)) return status;
  DrawCentred(dialog);
  PictureFree(&dialog);
  return EFI_SUCCESS;
}
