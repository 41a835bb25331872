// Stand-ins for the maker's key state and firmware password protocols in host tests.
//
//   TestFirmware fw;
//   MemoryKeyState keys;
//   keys.Hold(kTarnKeyModifierCommand, {kTarnKeyV});
//   keys.Install();
//   MemoryFirmwarePassword password(true);
//   password.Install();
//
// Each installs on a new handle of the current TestFirmware; destroying the object
// uninstalls it while that firmware is still the current one.
#pragma once

#include <cstdint>
#include <vector>

#include "efi/efi.h"
#include "efi/protocols/tarn_firmware_password.h"
#include "efi/protocols/tarn_key_state.h"

class MemoryKeyState {
 public:
  MemoryKeyState();
  ~MemoryKeyState();
  MemoryKeyState(const MemoryKeyState&) = delete;
  MemoryKeyState& operator=(const MemoryKeyState&) = delete;

  void Hold(uint16_t modifiers, std::vector<uint16_t> keys) {
    modifiers_ = modifiers;
    keys_ = std::move(keys);
  }
  // The next reads fail with this status (EFI_SUCCESS: they succeed again).
  void FailWith(EFI_STATUS status) { fail_ = status; }
  // Reports this many keys regardless of the room the caller offered (a misbehaving firmware).
  void ReportCount(UINTN count) { forced_count_ = count; }
  EFI_HANDLE Install();
  int Reads() const { return reads_; }

 private:
  static EFI_STATUS EFIAPI Read(TarnKeyStateProtocol* self, UINT16* modifiers, UINTN* count, CHAR16* keys);
  TarnKeyStateProtocol protocol_{};  // first member: the protocol pointer is the object
  uint16_t modifiers_ = 0;
  std::vector<uint16_t> keys_;
  EFI_STATUS fail_ = EFI_SUCCESS;
  UINTN forced_count_ = 0;
  int reads_ = 0;
  EFI_HANDLE handle_ = nullptr;
  EFI_SYSTEM_TABLE* installed_on_ = nullptr;
};

class MemoryFirmwarePassword {
 public:
  explicit MemoryFirmwarePassword(bool password_set);
  ~MemoryFirmwarePassword();
  MemoryFirmwarePassword(const MemoryFirmwarePassword&) = delete;
  MemoryFirmwarePassword& operator=(const MemoryFirmwarePassword&) = delete;

  EFI_HANDLE Install();

 private:
  static EFI_STATUS EFIAPI Check(TarnFirmwarePasswordProtocol* self, UINT64* enabled);
  TarnFirmwarePasswordProtocol protocol_{};
  bool password_set_;
  EFI_HANDLE handle_ = nullptr;
  EFI_SYSTEM_TABLE* installed_on_ = nullptr;
};
