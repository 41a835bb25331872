// The encrypted physical volume's header: any 512 bytes (or fewer) through the check and the
// key it yields.
#include <cstdint>
#include <cstdlib>

#include "fde/volume_header.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VolumeHeaderKey key;
  EFI_STATUS status = VolumeHeaderParse(ByteSpan(data, size), &key);
  if (EFI_ERROR(status)) {
    for (UINT8 b : key.key) {
      if (b) abort();  // a refused header leaves no key behind
    }
    return 0;
  }
  if (key.key_kind == kVolumeKeyKindXts && key.key_length != 16 && key.key_length != 24 && key.key_length != 32) abort();
  return 0;
}
