#include "fde/recovery_boot_mode.h"

#include "diag/device_path_build.h"
#include "fde/lodestore.h"
#include "flags/guids.h"
#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"

namespace {

constexpr EFI_GUID kGlobalVariableGuid = {0x8BE4DF61, 0x93CA, 0x11D2, {0xAA, 0x0D, 0x00, 0xE0, 0x98, 0x03, 0x2B, 0x8C}};
constexpr const CHAR16* kModeVariable = u"recovery-boot-mode";
constexpr UINT32 kLoadOptionActive = 1;
constexpr UINT32 kNonVolatileAccess = 7;
constexpr UINT16 kRecoveryOptionNumber = 0x0081;
constexpr char16_t kDescription[] = u"Recovery OS";
constexpr char kLocked[] = "locked";
constexpr char kFdeRecovery[] = "fde-recovery";

bool ModeIsLocked() {
  char value[sizeof(kLocked) - 1] = {};
  UINTN size = sizeof(value);
  EFI_STATUS status = gRT->GetVariable(kModeVariable, &TarnBootGuid, nullptr, &size, value);
  if (status == EFI_BUFFER_TOO_SMALL) {
    // Longer than "locked": read the whole value to see how it begins.
    char* whole = static_cast<char*>(PoolAllocate(size));
    if (!whole) return true;  // cannot tell: leave it alone
    status = gRT->GetVariable(kModeVariable, &TarnBootGuid, nullptr, &size, whole);
    bool locked = !EFI_ERROR(status) && size >= sizeof(value) && MemCompare(whole, kLocked, sizeof(value)) == 0;
    PoolFree(whole);
    return locked;
  }
  return !EFI_ERROR(status) && size == sizeof(value) && MemCompare(value, kLocked, sizeof(value)) == 0;
}

}  // namespace

EFI_STATUS SetRecoveryBootMode(const char* value, UINTN length, UINT32 attributes) {
  if (ModeIsLocked()) return EFI_WRITE_PROTECTED;
  if (!value) return gRT->SetVariable(kModeVariable, &TarnBootGuid, 0, 0, nullptr);
  return gRT->SetVariable(kModeVariable, &TarnBootGuid, attributes, length, const_cast<char*>(value));
}

EFI_STATUS StartPasswordRecovery(void* context) {
  auto* boot_path = static_cast<const EFI_DEVICE_PATH_PROTOCOL*>(context);
  EFI_DEVICE_PATH_PROTOCOL* path = AppendFilePathNode(boot_path, kRecoveryLoaderPath);
  if (!path) return EFI_OUT_OF_RESOURCES;
  const UINTN path_size = DevicePathPayloadSize(path) + sizeof(EFI_DEVICE_PATH_PROTOCOL);
  const UINTN size = 4 + 2 + sizeof(kDescription) + path_size;
  UINT8* option = static_cast<UINT8*>(PoolAllocateZero(size));
  if (!option || path_size > 0xFFFF) {
    PoolFree(option);
    PoolFree(path);
    return EFI_OUT_OF_RESOURCES;
  }
  StoreLe32(option, kLoadOptionActive);
  StoreLe16(option + 4, static_cast<UINT16>(path_size));
  MemCopy(option + 6, kDescription, sizeof(kDescription));
  MemCopy(option + 6 + sizeof(kDescription), path, path_size);
  PoolFree(path);
  EFI_STATUS status = gRT->SetVariable(u"Boot0081", &kGlobalVariableGuid, kNonVolatileAccess, size, option);
  PoolFree(option);
  if (EFI_ERROR(status)) return status;
  UINT16 next = kRecoveryOptionNumber;
  status = gRT->SetVariable(u"BootNext", &kGlobalVariableGuid, kNonVolatileAccess, sizeof(next), &next);
  if (EFI_ERROR(status)) return status;
  Lodestore().recovery_prepared = true;
  return SetRecoveryBootMode(kFdeRecovery, sizeof(kFdeRecovery) - 1, kNonVolatileAccess);
}

void UndoPasswordRecovery() {
  gRT->SetVariable(u"BootNext", &kGlobalVariableGuid, 0, 0, nullptr);
  SetRecoveryBootMode(nullptr, 0, 0);
}
