#include "diag/ascii_format.h"

// Placeholder until the device-path converter lands: "%D" prints nothing but its padding.
void DevicePathTextCallback(const EFI_DEVICE_PATH_PROTOCOL*, UINT32 width, AsciiSink sink, void* context) {
  for (UINT32 i = 0; i < width; ++i) sink(' ', context);
}
