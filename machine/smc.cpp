#include "machine/smc.h"

#include "efi/efi.h"
#include "lib/mem.h"

namespace {
bool ValidSize(UINTN size) { return size >= 1 && size <= kSmcMaxValueSize; }
}  // namespace

EFI_STATUS SmcLocate(TarnSmcIoProtocol** smc) {
  if (!smc) return EFI_INVALID_PARAMETER;
  *smc = nullptr;
  void* interface = nullptr;
  EFI_STATUS status = gBS->LocateProtocol(&kTarnSmcIoProtocolGuid, nullptr, &interface);
  if (EFI_ERROR(status)) return status;
  if (!interface) return EFI_NOT_FOUND;
  *smc = static_cast<TarnSmcIoProtocol*>(interface);
  return EFI_SUCCESS;
}

EFI_STATUS SmcRead(TarnSmcIoProtocol* smc, UINT32 key, UINTN size, void* buffer) {
  if (!smc || !buffer || !ValidSize(size)) return EFI_INVALID_PARAMETER;
  // The controller may leave a failed read half-written; only a good value reaches the caller.
  UINT8 value[kSmcMaxValueSize];
  EFI_STATUS status = EFI_DEVICE_ERROR;
  for (int attempt = 0; attempt < kSmcReadAttempts; ++attempt) {
    status = smc->SmcReadValue(smc, key, size, value);
    if (!EFI_ERROR(status)) break;
  }
  if (!EFI_ERROR(status)) MemCopy(buffer, value, size);
  SecureZero(value, sizeof(value));  // the boot key slot passes through here
  return status;
}

EFI_STATUS SmcWrite(TarnSmcIoProtocol* smc, UINT32 key, UINTN size, const void* buffer) {
  if (!smc || !buffer || !ValidSize(size)) return EFI_INVALID_PARAMETER;
  return smc->SmcWriteValue(smc, key, size, buffer);
}

EFI_STATUS SmcReadKey(UINT32 key, UINTN size, void* buffer) {
  TarnSmcIoProtocol* smc = nullptr;
  EFI_STATUS status = SmcLocate(&smc);
  if (EFI_ERROR(status)) return status;
  return SmcRead(smc, key, size, buffer);
}

EFI_STATUS SmcTakeBootKey(UINT8 key[kSmcBootKeySize]) {
  TarnSmcIoProtocol* smc = nullptr;
  EFI_STATUS status = SmcLocate(&smc);
  if (EFI_ERROR(status)) return status;
  status = SmcRead(smc, kSmcKeyBootKey, kSmcBootKeySize, key);
  if (EFI_ERROR(status)) return status;
  const UINT8 zeros[kSmcBootKeySize] = {};
  (void)SmcWrite(smc, kSmcKeyBootKey, kSmcBootKeySize, zeros);  // the key is taken even if the SMC keeps it
  return EFI_SUCCESS;
}
