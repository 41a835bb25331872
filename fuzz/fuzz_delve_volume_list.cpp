// The firmware's volume list ("rc_imgsrc_info", an XML property list) and
// the kernel's image-source records are outside data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/delve/imgsrc_info.h"
#include "tools/delve/plist_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> value(data, data + size);
  delve::PlistValue root;
  delve::ParsePlist(data, size, &root);
  for (const delve::VolumeEntry& entry : delve::ParseVolumeEntries(value)) {
    if (entry.valid && entry.identifier.size() > size) __builtin_trap();
  }
  if (delve::ParseImgsrcRecords(value).size() != size / delve::kImgsrcRecordSize) __builtin_trap();
  return 0;
}
