// Resource archives on arbitrary bytes: hearth's reader builds its index, every reachable
// name is looked up (with and without a copy), the archive is merged with itself, and the
// host's strict reader must never accept what hearth would read differently.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tools/lib/efires.h"
#include "ui/archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TestFirmware* fw = new TestFirmware;  // one firmware for the whole run
  (void)fw;
  // An exact-size heap copy: any read past the archive is caught.
  std::vector<uint8_t> bytes(data, data + size);
  uint8_t* exact = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  if (size) std::memcpy(exact, data, size);
  Archive* archive = nullptr;
  if (ArchiveCreate(exact, size, &archive) == kArchiveOk) {
    UINT32 reachable = ArchiveIndexedCount(archive);
    for (UINT32 i = 0; i < reachable; ++i) {
      ArchiveRecord record = ArchiveRecordAt(archive, i);
      const void* found = nullptr;
      UINT32 length = 0;
      if (ArchiveGetData(archive, record.name, TRUE, &found, &length, FALSE) == kArchiveOk) {
        PoolFree(const_cast<void*>(found));
      }
      ArchiveGetData(archive, record.name, FALSE, &found, &length, FALSE);
    }
    Archive* merged = nullptr;
    if (ArchiveCreateWithArchives(archive, archive, &merged) == kArchiveOk) ArchiveDestroy(merged);
    // What the strict reader accepts, hearth serves byte for byte.
    EfiresContents contents;
    std::string error;
    if (EfiresRead(bytes, &contents, &error)) {
      for (const EfiresFile& f : contents.files) {
        const void* found = nullptr;
        UINT32 length = 0;
        if (ArchiveGetData(archive, f.name.c_str(), FALSE, &found, &length, FALSE) != kArchiveOk) std::abort();
        // A duplicate name resolves to the first record; compare only unique ones.
        size_t same = 0;
        for (const EfiresFile& g : contents.files) same += g.name == f.name;
        if (same == 1 && (length != f.data.size() || std::memcmp(found, f.data.data(), length) != 0)) std::abort();
      }
    }
    ArchiveDestroy(archive);
  }
  std::free(exact);
  if (TrackedAllocationCount() != 0) std::abort();
  return 0;
}
