#include "platform/usb_tablet.h"

#include "efi/protocols/absolute_pointer.h"
#include "efi/protocols/usb_io.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "memory/owners.h"

namespace {

constexpr UINT16 kTabletVendor = 0x0627;
constexpr UINT16 kTabletProduct = 0x0001;
constexpr UINT8 kHidClass = 3;
constexpr UINTN kPollMilliseconds = 8;
constexpr UINT64 kTabletMax = 0x7FFF;

struct TabletState {
  EFI_ABSOLUTE_POINTER_PROTOCOL protocol;
  EFI_ABSOLUTE_POINTER_MODE mode;
  EFI_HANDLE handle;
  EFI_USB_IO_PROTOCOL* usb;
  UINT8 endpoint;
  volatile BOOLEAN changed;
  volatile UINT16 x, y;
  volatile UINT8 buttons;
};
TabletState gTablet = {};

void ResetTablet() { gTablet = {}; }
HEARTH_HOST_RESET(ResetTablet);

// Report: buttons, x (16 bits), y (16 bits), then the wheel.
EFI_STATUS EFIAPI OnReport(VOID* data, UINTN length, VOID*, UINT32 status) {
  if (status != 0 || !data || length < 5) return EFI_SUCCESS;
  const UINT8* bytes = static_cast<const UINT8*>(data);
  gTablet.buttons = bytes[0];
  gTablet.x = LoadLe16(bytes + 1);
  gTablet.y = LoadLe16(bytes + 3);
  gTablet.changed = TRUE;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Reset(EFI_ABSOLUTE_POINTER_PROTOCOL*, BOOLEAN) { return EFI_SUCCESS; }

EFI_STATUS EFIAPI GetState(EFI_ABSOLUTE_POINTER_PROTOCOL*, EFI_ABSOLUTE_POINTER_STATE* state) {
  if (!state) return EFI_INVALID_PARAMETER;
  if (!gTablet.changed) return EFI_NOT_READY;
  gTablet.changed = FALSE;
  *state = EFI_ABSOLUTE_POINTER_STATE{gTablet.x, gTablet.y, 0, UINT32(gTablet.buttons & 0x3)};
  return EFI_SUCCESS;
}

// The interrupt-in endpoint of a tablet interface, or 0.
UINT8 TabletEndpoint(EFI_USB_IO_PROTOCOL* usb) {
  EFI_USB_DEVICE_DESCRIPTOR device{};
  EFI_USB_INTERFACE_DESCRIPTOR interface{};
  if (EFI_ERROR(usb->UsbGetDeviceDescriptor(usb, &device)) || device.IdVendor != kTabletVendor ||
      device.IdProduct != kTabletProduct || EFI_ERROR(usb->UsbGetInterfaceDescriptor(usb, &interface)) ||
      interface.InterfaceClass != kHidClass) {
    return 0;
  }
  for (UINT8 i = 0; i < interface.NumEndpoints; ++i) {
    EFI_USB_ENDPOINT_DESCRIPTOR endpoint{};
    if (EFI_ERROR(usb->UsbGetEndpointDescriptor(usb, i, &endpoint))) continue;
    if ((endpoint.EndpointAddress & 0x80) && (endpoint.Attributes & 0x3) == 0x3) return endpoint.EndpointAddress;
  }
  return 0;
}

}  // namespace

EFI_STATUS InstallUsbTablet() {
  HandleBuffer handles;
  if (EFI_ERROR(handles.Locate(kEfiUsbIoProtocolGuid))) return EFI_NOT_FOUND;
  for (UINTN i = 0; i < handles.count() && !gTablet.usb; ++i) {
    EFI_USB_IO_PROTOCOL* usb = nullptr;
    if (EFI_ERROR(gBS->HandleProtocol(handles[i], &kEfiUsbIoProtocolGuid, reinterpret_cast<VOID**>(&usb))) || !usb) {
      continue;
    }
    UINT8 endpoint = TabletEndpoint(usb);
    if (!endpoint) continue;
    if (EFI_ERROR(usb->UsbAsyncInterruptTransfer(usb, endpoint, TRUE, kPollMilliseconds, 8, OnReport, nullptr))) {
      continue;
    }
    gTablet.usb = usb;
    gTablet.endpoint = endpoint;
  }
  if (!gTablet.usb) return EFI_NOT_FOUND;
  gTablet.mode = EFI_ABSOLUTE_POINTER_MODE{0, 0, 0, kTabletMax, kTabletMax, 0, 0};
  gTablet.protocol = EFI_ABSOLUTE_POINTER_PROTOCOL{Reset, GetState, nullptr, &gTablet.mode};
  return gBS->InstallProtocolInterface(&gTablet.handle, &kEfiAbsolutePointerProtocolGuid, EFI_NATIVE_INTERFACE,
                                       &gTablet.protocol);
}

void RemoveUsbTablet() {
  if (gTablet.usb) gTablet.usb->UsbAsyncInterruptTransfer(gTablet.usb, gTablet.endpoint, FALSE, 0, 0, nullptr, nullptr);
  if (gTablet.handle) {
    gBS->UninstallProtocolInterface(gTablet.handle, &kEfiAbsolutePointerProtocolGuid, &gTablet.protocol);
  }
  gTablet = {};
}
