// "InitMemoryConfig": what SMBIOS says about the memory and the system.
#include "handoff/platform_facts.h"
#include "machine/smbios.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

namespace {

PlatformFacts gFacts;

void ResetFacts() { gFacts = PlatformFacts{}; }
HEARTH_HOST_RESET(ResetFacts);

// The 16-bit size of a type-17 memory device: KiB when the top bit is set, MiB otherwise;
// 0xFFFF means the size lives elsewhere and is not counted.
UINT64 MemoryDeviceBytes(const SmbiosStructure& s) {
  UINT16 size = 0;
  if (!s.formatted.ReadLe16(12, &size) || size == 0xFFFF) return 0;
  if (size & 0x8000) return UINT64(size & 0x7FFF) << 10;
  return UINT64(size) << 20;
}

}  // namespace

void InitMemoryConfig() {
  ByteSpan table;
  if (!SmbiosFindTable(&table)) return;
  SmbiosStructure s;
  for (UINTN offset = 0; SmbiosNextStructure(table, &offset, &s);) {
    if (s.type == 17) gFacts.physical_memory_size += MemoryDeviceBytes(s);
    if (s.type == 1 && !gFacts.has_system_uuid && s.formatted.Contains(8, 16)) {
      MemCopy(gFacts.system_uuid, s.formatted.data() + 8, 16);
      gFacts.has_system_uuid = true;
    }
  }
}

const PlatformFacts& RecordedPlatformFacts() { return gFacts; }
