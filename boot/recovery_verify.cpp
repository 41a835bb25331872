// The recovery booter's check of its root disk image against the signed chunk list beside it.
#include "verify/chunk_extents.h"
#include "verify/chunk_list.h"
#include "verify/image_verify.h"
#include "boot/recovery.h"
#include "output/ascii_format.h"
#include "diag/log.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "files/boot_file.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

constexpr UINT64 kMaxExtent = 0xA00000;  // 10 MiB
constexpr UINTN kStatusPolls = 60;
constexpr UINTN kPollMicroseconds = 5000000;
constexpr UINT32 kRecoveryIdTag = 0xCAFEBEEF;

// Reads root\BASE.EXTENSION; the name is formatted as "%a.chunklist" or "%a.dmg".
EFI_STATUS ReadNamedFile(EFI_FILE_PROTOCOL* root, const char* base_name, const char* extension, UINT64* size,
                         PoolBuffer* data) {
  UINTN length = AsciiStrLen(base_name) + AsciiStrLen(extension) + 1;
  PoolBuffer buffer;
  if (EFI_ERROR(buffer.AllocateZero(length * sizeof(CHAR16)))) return EFI_OUT_OF_RESOURCES;
  CHAR16* path = buffer.get<CHAR16>();
  UINTN at = 0;
  for (const char* s = base_name; *s; ++s) path[at++] = static_cast<UINT8>(*s);
  for (const char* s = extension; *s; ++s) path[at++] = static_cast<UINT8>(*s);
  return LoadWholeFile(nullptr, root, path, nullptr, size, data->out<void>());
}

// Polls while chunks are pending and none has failed, at most 60 times, 5 seconds apart.
EFI_STATUS WaitForVerdict(TarnImageVerificationProtocol* service, const UINT8* id) {
  EFI_STATUS status = EFI_NOT_READY;
  for (UINTN poll = 0; poll < kStatusPolls; ++poll) {
    UINT64 count = 0, pending = 0, good = 0;
    status = service->Status(service, id, &count, &pending, &good);
    if (status != EFI_NOT_READY || pending == 0 || good < count) {
      LogMessage(kLogCategoryError, "Recovery image check: %ld chunks, %ld pending, %ld good\n", count, pending, good);
      break;
    }
    gBS->Stall(kPollMicroseconds);
  }
  return status;
}

}  // namespace

void RecoveryImageId(const UINT8* first_digest, UINT8* id) {
  MemCopy(id, first_digest, 8);
  StoreLe32(id + 8, kRecoveryIdTag);
}

EFI_STATUS RecoveryImageBaseName(const char* value, char** base_name) {
  constexpr const char kScheme[] = "file://";
  constexpr UINTN kSchemeLength = sizeof(kScheme) - 1;
  if (!value || AsciiStrLen(value) < kSchemeLength || AsciiStrnCmp(value, kScheme, kSchemeLength) != 0) {
    return EFI_UNSUPPORTED;
  }
  const char* rest = value + kSchemeLength;
  UINTN length = AsciiStrLen(rest);
  while (length > 0 && rest[length - 1] != '.') --length;
  if (length == 0) return EFI_UNSUPPORTED;  // no extension to drop: no base name
  --length;
  char* name = static_cast<char*>(PoolAllocateZero(length + 1));
  if (!name) return EFI_OUT_OF_RESOURCES;
  for (UINTN i = 0; i < length; ++i) name[i] = rest[i] == '/' ? '\\' : rest[i];
  *base_name = name;
  return EFI_SUCCESS;
}

EFI_STATUS VerifyRecoveryImage(const char* root_image_option, EFI_FILE_PROTOCOL* root) {
  TarnImageVerificationProtocol* service = nullptr;
  EFI_STATUS status = ImageVerificationLocate(&service);
  if (EFI_ERROR(status)) return status;
  if (!root_image_option || !root_image_option[0]) return EFI_NOT_FOUND;
  // Every block goes on every path out of the verification.
  PoolBuffer base_name, chunk_list, image, extents;
  if (EFI_ERROR(status = RecoveryImageBaseName(root_image_option, base_name.out<char>()))) return status;
  if (!root) return EFI_NOT_FOUND;
  UINT64 list_size = 0, image_size = 0;
  const char* base = base_name.get<char>();
  if (EFI_ERROR(status = ReadNamedFile(root, base, ".chunklist", &list_size, &chunk_list))) return status;
  if (EFI_ERROR(status = service->ValidateChunkList(service, chunk_list.get(), list_size))) return status;
  ChunkListInfo info;
  ByteSpan list(chunk_list.get(), list_size);
  if (EFI_ERROR(ChunkListParse(list, &info)) || info.chunk_count == 0) return EFI_VOLUME_CORRUPTED;
  if (EFI_ERROR(status = ReadNamedFile(root, base, ".dmg", &image_size, &image))) return status;
  if (EFI_ERROR(status = ExtentListDescribe(image.get(), image_size, kMaxExtent, extents.out<ImageExtentList>()))) {
    return status;
  }

  UINT32 first_size = 0;
  const UINT8* first_digest = nullptr;
  ChunkListEntry(list, info, 0, &first_size, &first_digest);
  UINT8 id[kImageVerificationIdSize];
  RecoveryImageId(first_digest, id);
  status = service->Start(service, id, chunk_list.get(), list_size, extents.get<ImageExtentList>());
  if (EFI_ERROR(status)) return status;
  status = WaitForVerdict(service, id);
  service->Close(service, id);
  return status;
}
