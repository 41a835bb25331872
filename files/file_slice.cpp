// SelectFileSlice: the x86-64 slice of a universal file.
#include "flags/boot_mode.h"
#include "output/console.h"
#include "files/boot_file.h"
#include "lib/mem.h"

namespace {

constexpr UINT32 kCpuTypeX86_64 = 0x01000007;
constexpr UINT32 kUniversalMagic = 0xCAFEBABE;
constexpr UINT32 kMachO32 = 0xFEEDFACE;
constexpr UINT32 kMachO64 = 0xFEEDFACF;
constexpr UINTN kArchEntrySize = 20;

struct Slice {
  UINT32 cpu_type, cpu_subtype;
  UINT64 offset, size;
};

// A subtype-3 entry is taken while nothing is; an entry of exactly CpuSubtype always is.
void Consider(const Slice& entry, Slice* chosen) {
  if (entry.cpu_type != kCpuTypeX86_64) return;
  if ((entry.cpu_subtype == 3 && chosen->size == 0) || entry.cpu_subtype == CpuSubtype) *chosen = entry;
}

EFI_STATUS Rewind(BootFile* file) {
  EFI_STATUS status = BootFileSetPosition(file, 0);
  if (EFI_ERROR(status)) ConsolePrint("Couldn't set position back to 0.\n");
  return status;
}

EFI_STATUS ThinFile(BootFile* file, UINT64 file_size, Slice* chosen) {
  EFI_STATUS status = Rewind(file);
  if (EFI_ERROR(status)) return status;
  UINT8 header[28];
  UINT64 n = sizeof(header);
  status = BootFileRead(file, &n, header);
  if (EFI_ERROR(status) || n < sizeof(header)) return EFI_LOAD_ERROR;
  status = Rewind(file);
  if (EFI_ERROR(status)) return status;
  UINT32 magic = LoadLe32(header);
  if (LoadBe32(header) == kMachO32 || LoadBe32(header) == kMachO64) return EFI_LOAD_ERROR;  // other byte order
  if (magic != kMachO32 && magic != kMachO64) {
    *chosen = Slice{0, 0, 0, file_size};  // not Mach-O: the whole file
    return EFI_SUCCESS;
  }
  Consider(Slice{LoadLe32(header + 4), LoadLe32(header + 8), 0, file_size}, chosen);
  return EFI_SUCCESS;
}

EFI_STATUS UniversalFile(BootFile* file, const UINT8 head[8], bool big_endian, Slice* chosen) {
  UINT32 count = big_endian ? LoadBe32(head + 4) : LoadLe32(head + 4);
  if (count == 0) return EFI_LOAD_ERROR;
  for (UINT32 i = 0; i < count; ++i) {
    UINT8 entry[kArchEntrySize];
    UINT64 n = sizeof(entry);
    EFI_STATUS status = BootFileRead(file, &n, entry);
    if (EFI_ERROR(status) || n < sizeof(entry)) return EFI_LOAD_ERROR;
    auto field = [&](int k) { return big_endian ? LoadBe32(entry + 4 * k) : LoadLe32(entry + 4 * k); };
    Consider(Slice{field(0), field(1), field(2), field(3)}, chosen);
  }
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS SelectFileSlice(BootFile* file, UINT64* offset, UINT64* size) {
  UINT8 head[8];
  UINT64 n = sizeof(head);
  EFI_STATUS status = BootFileRead(file, &n, head);
  if (EFI_ERROR(status) || n < sizeof(head)) return EFI_LOAD_ERROR;
  Slice chosen{0, 0, 0, 0};
  UINT64 file_size = 0;
  if (LoadBe32(head) == kUniversalMagic || LoadLe32(head) == kUniversalMagic) {
    status = UniversalFile(file, head, LoadBe32(head) == kUniversalMagic, &chosen);
    if (EFI_ERROR(status)) return status;
    status = BootFileGetSize(file, &file_size);
  } else {
    status = BootFileGetSize(file, &file_size);
    if (!EFI_ERROR(status)) status = ThinFile(file, file_size, &chosen);
  }
  if (EFI_ERROR(status)) return status;
  // A slice must lie inside the file; its offset and size come from the file itself.
  if (chosen.size == 0 || chosen.offset > file_size || chosen.size > file_size - chosen.offset) {
    return EFI_LOAD_ERROR;
  }
  if (chosen.offset != 0) {
    status = BootFileSetPosition(file, chosen.offset);
    if (EFI_ERROR(status)) return status;
  }
  *offset = chosen.offset;
  *size = chosen.size;
  return EFI_SUCCESS;
}
