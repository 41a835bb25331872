// The "boot-image" variable: a device path whose first file-path node names the header offset
// and, optionally, the encrypted volume's UUID. The input is the variable's bytes.
#include <cstdint>

#include "hibernate/boot_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CHAR16 text[64];
  UINTN length = 0;
  if (!BootImageFileNode(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(data), size, text, 64, &length)) return 0;
  BootImageLocation location{};
  ParseBootImageText(text, length, &location);
  return 0;
}
