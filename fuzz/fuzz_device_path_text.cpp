// Fuzzes the device-path converter over raw bytes: the bounded entry may read nothing outside
// the input, the text must be a terminated string within the length limit, and every pool
// block must come back. The well-formed prefix is then extended with a file-path node and
// converted again.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "diag/device_path_build.h"
#include "diag/device_path_text.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

void CheckText(CHAR16* text) {
  if (!text) __builtin_trap();  // the test firmware does not run out of pool
  size_t n = 0;
  while (text[n]) {
    if (++n >= kPoolTextMaxLength / 2) __builtin_trap();
  }
  PoolFree(text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TestFirmware* firmware = new TestFirmware;
  (void)firmware;
  CheckText(DevicePathToTextBounded(data, size));

  UINTN payload = DevicePathPayloadSize(reinterpret_cast<const EFI_DEVICE_PATH_PROTOCOL*>(data), size);
  if (payload > size) __builtin_trap();
  std::vector<uint8_t> path(data, data + payload);
  path.insert(path.end(), {0x7F, 0xFF, 4, 0});
  EFI_DEVICE_PATH_PROTOCOL* with_file =
      AppendFilePathNode(reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(path.data()), u"\\EFI\\hearth.efi");
  if (!with_file) __builtin_trap();
  if (DevicePathPayloadSize(with_file) != payload + 4 + 32) __builtin_trap();
  CheckText(DevicePathToText(with_file));
  PoolFree(with_file);

  if (TrackedAllocationCount() != 0) __builtin_trap();
  return 0;
}
