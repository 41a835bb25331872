// The firmware picture directory ("GuidList") on arbitrary bytes: lookups by plain and scaled
// names must stay inside the data, and what they find must be a record's GUID.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "lib/span.h"
#include "ui/firmware_picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  // The first byte picks the name length; the name is taken from the records themselves too.
  uint8_t* exact = static_cast<uint8_t*>(std::malloc(size - 1 ? size - 1 : 1));
  std::memcpy(exact, data + 1, size - 1);
  ByteSpan directory(exact, size - 1);
  const char* names[] = {"larkspur", "lock", "a", "", "background_2x", "0123456789012345678901234567890"};
  for (const char* name : names) {
    EFI_GUID guid;
    BOOLEAN scaled = FALSE;
    if (FirmwarePictureDirectoryLookup(directory, name, data[0] % 4, &guid, &scaled) == EFI_SUCCESS) {
      bool inside = false;
      for (size_t at = 0; at + 80 <= size - 1; at += 80) inside = inside || std::memcmp(exact + at, &guid, 16) == 0;
      if (!inside) std::abort();
    }
  }
  // A name read out of the data: ASCII of the first record's characters.
  char own[33] = {};
  for (size_t i = 0; i < 32 && 16 + 2 * i + 1 < size - 1; ++i) own[i] = char(exact[16 + 2 * i]);
  EFI_GUID guid;
  FirmwarePictureDirectoryFind(directory, own, &guid);
  std::free(exact);
  return 0;
}
