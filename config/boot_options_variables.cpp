#include "config/boot_options_variables.h"

#include "flags/guids.h"
#include "efi/efi.h"
#include "memory/memory.h"
#include "lib/mem.h"

namespace {

// Sizes a variable; EFI_SUCCESS with the size when it exists.
EFI_STATUS VariableSize(const CHAR16* name, UINTN* size) {
  UINTN n = 0;
  EFI_STATUS status = gRT->GetVariable(name, &TarnBootGuid, nullptr, &n, nullptr);
  if (status != EFI_BUFFER_TOO_SMALL && status != EFI_SUCCESS) return EFI_NOT_FOUND;
  *size = n;
  return EFI_SUCCESS;
}

}  // namespace

bool BootVariableExists(const CHAR16* name, const EFI_GUID& guid, UINTN room) {
  UINT8 buffer[16];
  if (room > sizeof(buffer)) room = sizeof(buffer);
  UINTN size = room;
  EFI_STATUS status = gRT->GetVariable(name, &guid, nullptr, &size, buffer);
  return status == EFI_SUCCESS || status == EFI_BUFFER_TOO_SMALL;
}

UINT32 ReadCsrActiveConfigVariable() {
  UINT8 bytes[4] = {0, 0, 0, 0};
  UINTN size = sizeof(bytes);
  if (EFI_ERROR(gRT->GetVariable(u"csr-active-config", &TarnBootGuid, nullptr, &size, bytes))) return 0;
  return LoadLe32(bytes);
}

EFI_STATUS ReadBootArgsVariable(char** text) {
  *text = nullptr;
  UINTN size = 0;
  if (EFI_ERROR(VariableSize(u"boot-args", &size))) return EFI_SUCCESS;
  if (size == static_cast<UINTN>(-1)) return EFI_SUCCESS;
  char* buffer = static_cast<char*>(PoolAllocateZero(size + 1));
  if (!buffer) return EFI_OUT_OF_RESOURCES;
  UINTN read = size;
  if (EFI_ERROR(gRT->GetVariable(u"boot-args", &TarnBootGuid, nullptr, &read, buffer)) || read > size) {
    PoolFree(buffer);
    return EFI_SUCCESS;
  }
  buffer[read] = 0;
  *text = buffer;
  return EFI_SUCCESS;
}

void ReadKernelCacheDataVariable(UINT8** data, UINTN* size) {
  *data = nullptr;
  *size = 0;
  UINTN n = 0;
  if (EFI_ERROR(VariableSize(u"efi-boot-kernelcache-data", &n)) || n == 0) return;
  UINT8* buffer = static_cast<UINT8*>(PoolAllocate(n));
  if (!buffer) return;
  UINTN read = n;
  if (EFI_ERROR(gRT->GetVariable(u"efi-boot-kernelcache-data", &TarnBootGuid, nullptr, &read, buffer)) || read > n) {
    PoolFree(buffer);
    return;
  }
  *data = buffer;
  *size = read;
}
