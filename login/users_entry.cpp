// The login UI's users: the key file's users completed into login users, and the check of a
// typed passphrase through the unlock stage.
#include "diag/log.h"
#include "draw/log_error.h"
#include "flags/guids.h"
#include "lib/mem.h"
#include "login/login_ui.h"
#include "memory/memory.h"

namespace {

constexpr UINTN kPassphraseUnits = 1025;

}  // namespace

bool LoginUIWantsHiDPI(UINT32 flags) {
  UINT8 value[4] = {};
  UINTN size = sizeof(value);
  UINT32 attributes = 0;
  EFI_STATUS status = gRT->GetVariable(u"EFILoginHiDPI", &TarnBootGuid, &attributes, &size, value);
  if (!EFI_ERROR(status) && size >= 1) return value[0] == '1';
  return (flags & kLoginFlagHiDpi) != 0;
}

BOOLEAN _lw_ValidatePassword(LoginWindow*, LoginUserRef* user, const CHAR16* passphrase, void* context) {
  auto* ui = static_cast<LoginUIRecord*>(context);
  if (!ui) {
    DULogError("_lw_ValidatePassword", "loginUI is NULL\n");
    return FALSE;
  }
  auto* copy = static_cast<CHAR16*>(PoolAllocateZero(kPassphraseUnits * sizeof(CHAR16)));
  if (!copy) return FALSE;
  for (UINTN i = 0; passphrase && passphrase[i] && i + 1 < kPassphraseUnits; ++i) copy[i] = passphrase[i];
  if (user && user->type == kLoginUserRecovery) LoginNormaliseRecoveryKey(copy);
  BOOLEAN accepted = FALSE;
  if (!ui->callbacks.verify_passphrase) {
    DULogError("_lw_ValidatePassword", "loginUI->loginUICallbacks.VerifyPassphraseFunction is NULL\n");
  } else {
    accepted = ui->callbacks.verify_passphrase(ui->callbacks.verify_context, user ? user->source : nullptr, copy,
                                               static_cast<UnlockRecord*>(ui->callbacks.verify_context));
  }
  PoolFreeSecret(copy, kPassphraseUnits * sizeof(CHAR16));
  return accepted;
}
