// The hibernation variables: the first byte splits the input into "boot-switch-vars",
// "boot-signature" and "boot-image-key" (any of them possibly absent or of a wrong size).
#include <cstdint>
#include <vector>

#include "flags/guids.h"
#include "hibernate/hibernate_vars.h"
#include "testfw/test_firmware.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  TestFirmware fw;
  size_t at = 3;
  const char16_t* names[3] = {u"boot-switch-vars", u"boot-signature", u"boot-image-key"};
  for (int i = 0; i < 3; ++i) {
    size_t length = data[i] % 64;
    if (data[i] & 0x80) continue;  // absent
    if (length > size - at) length = size - at;
    fw.SetVariable(names[i], TarnBootGuid, 7, std::vector<uint8_t>(data + at, data + at + length));
    at += length;
  }
  HibernateVars vars{};
  HibernateVars record{};
  ParseHibernateVars(ByteSpan(data, size), &record);
  if (TakeHibernateVars(&vars) == EFI_SUCCESS) {
    RememberHibernateVars(vars);
    SaveHibernateVars();
    ForgetHibernateVars();
  }
  return 0;
}
