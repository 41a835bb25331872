#include "testfw/memory_key_state.h"

#include "testfw/test_firmware.h"

MemoryKeyState::MemoryKeyState() { protocol_.ReadKeyState = Read; }

MemoryKeyState::~MemoryKeyState() {
  if (handle_ && gST == installed_on_) TestFirmware::Current().UninstallProtocol(handle_, kTarnKeyStateProtocolGuid);
}

EFI_HANDLE MemoryKeyState::Install() {
  handle_ = TestFirmware::Current().InstallProtocol(nullptr, kTarnKeyStateProtocolGuid, &protocol_);
  installed_on_ = gST;
  return handle_;
}

EFI_STATUS EFIAPI MemoryKeyState::Read(TarnKeyStateProtocol* self, UINT16* modifiers, UINTN* count, CHAR16* keys) {
  auto* state = reinterpret_cast<MemoryKeyState*>(self);
  ++state->reads_;
  if (EFI_ERROR(state->fail_)) return state->fail_;
  *modifiers = state->modifiers_;
  UINTN n = state->keys_.size() < *count ? state->keys_.size() : *count;
  for (UINTN i = 0; i < n; ++i) keys[i] = state->keys_[i];
  *count = state->forced_count_ ? state->forced_count_ : n;
  return EFI_SUCCESS;
}

MemoryFirmwarePassword::MemoryFirmwarePassword(bool password_set) : password_set_(password_set) {
  protocol_.CheckPasswordEnabled = Check;
}

MemoryFirmwarePassword::~MemoryFirmwarePassword() {
  if (handle_ && gST == installed_on_) {
    TestFirmware::Current().UninstallProtocol(handle_, kTarnFirmwarePasswordProtocolGuid);
  }
}

EFI_HANDLE MemoryFirmwarePassword::Install() {
  handle_ = TestFirmware::Current().InstallProtocol(nullptr, kTarnFirmwarePasswordProtocolGuid, &protocol_);
  installed_on_ = gST;
  return handle_;
}

EFI_STATUS EFIAPI MemoryFirmwarePassword::Check(TarnFirmwarePasswordProtocol* self, UINT64* enabled) {
  *enabled = reinterpret_cast<MemoryFirmwarePassword*>(self)->password_set_ ? 1 : 0;
  return EFI_SUCCESS;
}
