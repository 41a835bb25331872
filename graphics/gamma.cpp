#include "graphics/gamma.h"

#include "efi/protocols/edid_active.h"
#include "flags/guids.h"
#include "graphics/display_connect.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "memory/memory.h"

namespace {

// The largest "boot-gamma" read: three full tables of 65535 points would not fit a variable.
constexpr UINTN kMaxBootGammaSize = 64 * 1024;

struct GammaState {
  GammaRamps ramps;
  GammaRamps work;  // a fade's ramps in flight
  bool loaded;
};
GammaState gGamma;

void ResetGamma() { MemZero(&gGamma, sizeof(gGamma)); }
HEARTH_HOST_RESET(ResetGamma);

bool ActiveDisplay(DisplayIdentity* identity) {
  void* interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kEfiEdidActiveProtocolGuid, nullptr, &interface)) || !interface) return false;
  auto* edid = static_cast<EFI_EDID_ACTIVE_PROTOCOL*>(interface);
  if (!edid->Edid) return false;
  return DisplayIdentityFromEdid(ByteSpan(edid->Edid, edid->SizeOfEdid), identity);
}

EFI_STATUS SetRamps(TarnGammaProtocol* gamma, const GammaRamps& ramps) {
  return gamma->SetGammaRamps(gamma, kTarnGammaChannelsSeparate, kGammaRampEntries, ramps.red, ramps.green,
                              ramps.blue);
}

void EnsureLoaded() {
  if (!gGamma.loaded) LoadBootGamma();
}

}  // namespace

void LoadBootGamma() {
  LinearGammaRamps(&gGamma.ramps);
  gGamma.loaded = true;
  UINTN size = 0;
  if (gRT->GetVariable(u"boot-gamma", &TarnBootGuid, nullptr, &size, nullptr) != EFI_BUFFER_TOO_SMALL) return;
  if (size == 0 || size > kMaxBootGammaSize) return;
  void* data = PoolAllocate(size);
  if (!data) return;
  DisplayIdentity display{};
  if (!EFI_ERROR(gRT->GetVariable(u"boot-gamma", &TarnBootGuid, nullptr, &size, data)) && ActiveDisplay(&display)) {
    ParseBootGamma(ByteSpan(data, size), display, &gGamma.ramps);
  }
  PoolFree(data);
}

const GammaRamps& BootGammaRamps() { return gGamma.ramps; }

EFI_STATUS ApplyBootGamma() {
  TarnGammaProtocol* gamma = GammaProtocol();
  if (!gamma) return EFI_SUCCESS;
  EnsureLoaded();
  return SetRamps(gamma, gGamma.ramps);
}

EFI_STATUS BlackGamma() {
  TarnGammaProtocol* gamma = GammaProtocol();
  if (!gamma) return EFI_SUCCESS;
  MemZero(&gGamma.work, sizeof(gGamma.work));
  return SetRamps(gamma, gGamma.work);
}

EFI_STATUS FadeScreen(UINT32 milliseconds, UINT32 steps, bool fade_in) {
  TarnGammaProtocol* gamma = GammaProtocol();
  if (!gamma) return EFI_NOT_FOUND;
  EnsureLoaded();
  if (steps == 0) steps = 1;  // no steps: straight to the end
  GammaRamps& work = gGamma.work;
  if (fade_in) {
    MemZero(&work, sizeof(work));
  } else {
    work = gGamma.ramps;
  }
  const UINT16* from[3] = {gGamma.ramps.red, gGamma.ramps.green, gGamma.ramps.blue};
  UINT16* to[3] = {work.red, work.green, work.blue};
  EFI_STATUS status = EFI_SUCCESS;
  for (UINT32 i = 1; i < steps; ++i) {
    status = SetRamps(gamma, work);
    for (int c = 0; c < 3; ++c) {
      for (UINT32 e = 0; e < kGammaRampEntries; ++e) {
        UINT32 part = i * (from[c][e] / steps);
        to[c][e] = static_cast<UINT16>(fade_in ? part : from[c][e] - part);
      }
    }
    gBS->Stall(UINTN(milliseconds) * 1000 / steps);
  }
  EFI_STATUS last = fade_in ? ApplyBootGamma() : BlackGamma();
  return EFI_ERROR(status) ? status : last;
}
