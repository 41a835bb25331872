#include "graphics/display_connect.h"

#include "config/background_color.h"
#include "diag/stage.h"
#include "efi/protocols/tarn_display_connect.h"
#include "flags/guids.h"
#include "graphics/display.h"
#include "lib/host_reset.h"

namespace {

// 1 marks a protocol that was looked for and is absent.
void* const kAbsent = reinterpret_cast<void*>(1);

struct ConnectState {
  void* display_connect = nullptr;
  void* gamma = nullptr;
  bool all_done = false;
  bool display_done = false;
};
ConnectState gConnect;

void ResetConnect() { gConnect = ConnectState(); }
HEARTH_HOST_RESET(ResetConnect);

void* LocateOnce(void** slot, const EFI_GUID& guid) {
  if (!*slot) {
    void* interface = nullptr;
    *slot = EFI_ERROR(gBS->LocateProtocol(&guid, nullptr, &interface)) || !interface ? kAbsent : interface;
  }
  return *slot == kAbsent ? nullptr : *slot;
}

}  // namespace

TarnGammaProtocol* GammaProtocol() {
  return static_cast<TarnGammaProtocol*>(LocateOnce(&gConnect.gamma, kTarnGammaProtocolGuid));
}

EFI_STATUS ConnectGraphics(bool connect_all, bool connect_display) {
  EFI_STATUS status = EFI_SUCCESS;
  auto* connect = static_cast<TarnDisplayConnectProtocol*>(
      LocateOnce(&gConnect.display_connect, kTarnDisplayConnectProtocolGuid));
  if (!connect) status = EFI_NOT_FOUND;
  if (connect && connect_all && !gConnect.all_done) {
    gConnect.all_done = true;
    StageMark("Start ConnectAll");
    status = connect->ConnectAll(connect);
    StageMark("End ConnectAll");
  }
  if (connect && connect_display && !gConnect.display_done) {
    gConnect.display_done = true;
    StageMark("Start ConnectDisplay");
    status = connect->ConnectDisplay(connect);
    StageMark("End ConnectDisplay");
  }
  TarnGammaProtocol* gamma = GammaProtocol();
  if (connect_all && connect_display && gamma) {
    status = gamma->SetGammaRamps(gamma, kTarnGammaChannelsSeparate, 0, nullptr, nullptr, nullptr);
  }
  UINT64 saved = 0;
  UINTN size = sizeof(saved);
  EFI_STATUS read = gRT->GetVariable(u"gfx-saved-config-restore-status", &TarnVendorGuid, nullptr, &size, &saved);
  if (!EFI_ERROR(read) && size == sizeof(saved)) {
    UINT32 low = static_cast<UINT32>(saved);
    gDisplay.saved_config_status = EFI_ERROR(saved) ? (low | 0x80000000u) : low;
  }
  status = read;
  return status;
}

void LoadBackgroundColor() { ReadBackgroundColor(); }
