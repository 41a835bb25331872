#include "platform/image_codec.h"

#include "lib/host_reset.h"
#include "platform/png_decoder.h"
#include "platform/serial_output.h"

namespace {

EFI_STATUS EFIAPI Recognize(TarnImageConversionProtocol*, const VOID* data, UINTN size) {
  UINT32 w = 0, h = 0;
  return PngInfo(data, size, &w, &h) ? EFI_SUCCESS : EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI Dimensions(TarnImageConversionProtocol*, const VOID* data, UINTN size, UINT32* width,
                             UINT32* height) {
  if (!width || !height) return EFI_INVALID_PARAMETER;
  return PngInfo(data, size, width, height) ? EFI_SUCCESS : EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI Decode(TarnImageConversionProtocol*, const VOID* data, UINTN size, VOID** pixels,
                         UINTN* pixels_size) {
  UINT32 w = 0, h = 0;
  EFI_STATUS status = PngDecode(data, size, pixels, pixels_size, &w, &h);
  PlatformText line;
  line.Add("platform: image codec: ");
  if (EFI_ERROR(status)) {
    line.Add("PNG not decoded: ").AddStatus(status);
  } else {
    line.Add("decoded a ").AddDecimal(w).Add("x").AddDecimal(h).Add(" PNG");
  }
  SerialWriteLine(line);
  return status;
}

struct CodecStandIn {
  TarnImageConversionProtocol protocol = {nullptr, nullptr, Recognize, Dimensions, Decode};
  EFI_HANDLE handle = nullptr;
};
CodecStandIn gCodec;

void ResetCodec() { gCodec = CodecStandIn(); }
HEARTH_HOST_RESET(ResetCodec);

}  // namespace

EFI_STATUS InstallImageCodec() {
  if (gCodec.handle) return EFI_ALREADY_STARTED;
  return gBS->InstallProtocolInterface(&gCodec.handle, &kTarnImageConversionProtocolGuid, EFI_NATIVE_INTERFACE,
                                       &gCodec.protocol);
}

void RemoveImageCodec() {
  if (!gCodec.handle) return;
  gBS->UninstallProtocolInterface(gCodec.handle, &kTarnImageConversionProtocolGuid, &gCodec.protocol);
  gCodec.handle = nullptr;
}
