// The SMBIOS walker over a fuzzed structure table: every structure, string and memory fact
// is read within the table, whatever its lengths and string sets claim.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "efi/system_table.h"
#include "handoff/platform_facts.h"
#include "machine/smbios.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {

void WalkDirectly(const uint8_t* data, size_t size) {
  ByteSpan table(data, size);
  SmbiosStructure s;
  UINTN offset = 0;
  while (SmbiosNextStructure(table, &offset, &s)) {
    if (offset > size) std::abort();
    for (UINT8 index = 0; index < 8; ++index) {
      UINTN length = 0;
      const char* text = SmbiosString(s, index, &length);
      if (text && (reinterpret_cast<const uint8_t*>(text) < data ||
                   reinterpret_cast<const uint8_t*>(text) + length > data + size)) {
        std::abort();
      }
    }
    SmbiosFieldString(s, 4, nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The table in its own block, so that any read past its end is caught.
  std::vector<uint8_t> table(data, data + size);
  WalkDirectly(table.data(), table.size());

  // The same bytes behind an SMBIOS 3 entry point, as InitMemoryConfig finds them.
  TestFirmware fw;
  uint8_t entry[24] = {'_', 'S', 'M', '3', '_'};
  StoreLe32(entry + 0x0C, static_cast<uint32_t>(table.size()));
  StoreLe64(entry + 0x10, reinterpret_cast<uint64_t>(table.data()));
  if (!table.empty()) fw.SetConfigurationTable(kEfiSmbios3TableGuid, entry);
  InitMemoryConfig();
  return 0;
}
