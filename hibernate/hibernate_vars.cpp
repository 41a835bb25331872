#include "hibernate/hibernate_vars.h"

#include "efi/efi.h"
#include "flags/guids.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

namespace {

constexpr UINT32 kNonVolatile = 0x1;
constexpr UINT32 kNonVolatileAccess = 0x7;  // non-volatile, boot-service and runtime access

HibernateVars gPending;
UINTN gPendingKeyLength = 0;

void Forget() {
  SecureZero(&gPending, sizeof(gPending));
  gPendingKeyLength = 0;
}
HEARTH_HOST_RESET(Forget);

// Reads a variable of exactly `size` bytes and deletes it; EFI_NOT_FOUND when absent or of
// another size (a wrong size is deleted too: it can never announce an image).
EFI_STATUS TakeExact(const CHAR16* name, void* out, UINTN size) {
  UINT8 buffer[64];
  UINTN got = sizeof(buffer);
  EFI_STATUS status = gRT->GetVariable(name, &TarnBootGuid, nullptr, &got, buffer);
  if (status == EFI_BUFFER_TOO_SMALL || !EFI_ERROR(status)) gRT->SetVariable(name, &TarnBootGuid, 0, 0, nullptr);
  if (EFI_ERROR(status)) return status == EFI_BUFFER_TOO_SMALL ? EFI_NOT_FOUND : status;
  if (got != size) {
    SecureZero(buffer, sizeof(buffer));
    return EFI_NOT_FOUND;
  }
  MemCopy(out, buffer, size);
  SecureZero(buffer, sizeof(buffer));
  return EFI_SUCCESS;
}

}  // namespace

bool ParseHibernateVars(ByteSpan bytes, HibernateVars* vars) {
  if (bytes.size() != kHibernateVarsSize) return false;
  MemCopy(vars->signature, bytes.data(), 4);
  vars->revision = LoadLe32(bytes.data() + 4);
  MemCopy(vars->boot_signature, bytes.data() + 8, kBootSignatureSize);
  MemCopy(vars->image_key, bytes.data() + 28, kImageKeySize);
  return true;
}

EFI_STATUS TakeHibernateVars(HibernateVars* vars) {
  UINT8 record[kHibernateVarsSize];
  if (!EFI_ERROR(TakeExact(u"boot-switch-vars", record, sizeof(record)))) {
    ParseHibernateVars(ByteSpan(record, sizeof(record)), vars);
    SecureZero(record, sizeof(record));
    return EFI_SUCCESS;
  }
  MemZero(vars, sizeof(*vars));
  TakeExact(u"boot-signature", vars->boot_signature, kBootSignatureSize);
  if (EFI_ERROR(TakeExact(u"boot-image-key", vars->image_key, kImageKeySize))) return EFI_NOT_FOUND;
  MemCopy(vars->signature, "TARN", 4);
  vars->revision = kHibernateVarsRevision;
  return EFI_SUCCESS;
}

void RememberHibernateVars(const HibernateVars& vars) {
  gPending = vars;
  gPendingKeyLength = kImageKeySize;
}

UINTN PendingImageKeyLength() { return gPendingKeyLength; }
const UINT8* PendingImageKey() { return gPending.image_key; }
void ForgetHibernateVars() { Forget(); }

EFI_STATUS SaveHibernateVars() {
  if (!gPendingKeyLength) return EFI_NOT_FOUND;
  UINT8 record[kHibernateVarsSize];
  MemCopy(record, gPending.signature, 4);
  StoreLe32(record + 4, gPending.revision);
  MemCopy(record + 8, gPending.boot_signature, kBootSignatureSize);
  MemCopy(record + 28, gPending.image_key, kImageKeySize);
  EFI_STATUS status = gRT->SetVariable(u"IOHibernateRTCVariables", &TarnBootGuid, kNonVolatile, sizeof(record), record);
  // UEFI firmware refuses the non-volatile attribute alone (OVMF: EFI_INVALID_PARAMETER); the
  // image would be lost with the restart, so the record goes with the usual access bits there.
  if (EFI_ERROR(status)) {
    status = gRT->SetVariable(u"IOHibernateRTCVariables", &TarnBootGuid, kNonVolatileAccess, sizeof(record), record);
  }
  SecureZero(record, sizeof(record));
  return status;
}
