// Scripted input devices for host tests: a pointer behind the simple pointer protocol, and
// a stand-in for the firmware's own input-event protocol of any revision.
//
//   TestFirmware fw;
//   MemoryPointer mouse(1, 1);      // resolution in counts per pixel-ish unit
//   mouse.Install();
//   mouse.Move(10, -3);             // reported by the next GetState
//   mouse.Press(true, false);       // left button down from the next GetState on
//
//   MemoryTarnEvents firmware(7);   // revision 7: hearth keeps it
//   firmware.Install();
//   firmware.Fire(kTarnEventKeyPressed, ...);  // reaches every matching handler
//
// Each installs on a new handle of the current TestFirmware and uninstalls when destroyed
// while that firmware is still the current one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "efi/efi.h"
#include "efi/protocols/simple_pointer.h"
#include "efi/protocols/tarn_event.h"

class MemoryPointer {
 public:
  MemoryPointer(uint64_t resolution_x = 1, uint64_t resolution_y = 1);
  ~MemoryPointer();
  MemoryPointer(const MemoryPointer&) = delete;
  MemoryPointer& operator=(const MemoryPointer&) = delete;

  // Movement adds up until the next GetState takes it.
  void Move(int32_t dx, int32_t dy) {
    dx_ += dx;
    dy_ += dy;
    changed_ = true;
  }
  void Press(bool left, bool right) {
    left_ = left;
    right_ = right;
    changed_ = true;
  }
  EFI_HANDLE Install();
  int Reads() const { return reads_; }

 private:
  static EFI_STATUS EFIAPI Reset(EFI_SIMPLE_POINTER_PROTOCOL*, BOOLEAN);
  static EFI_STATUS EFIAPI GetState(EFI_SIMPLE_POINTER_PROTOCOL* self, EFI_SIMPLE_POINTER_STATE* state);
  EFI_SIMPLE_POINTER_PROTOCOL protocol_{};  // first member: the protocol pointer is the object
  EFI_SIMPLE_POINTER_MODE mode_{};
  int32_t dx_ = 0, dy_ = 0;
  bool left_ = false, right_ = false, changed_ = false;
  int reads_ = 0;
  EFI_HANDLE handle_ = nullptr;
  EFI_SYSTEM_TABLE* installed_on_ = nullptr;
};

class MemoryTarnEvents {
 public:
  explicit MemoryTarnEvents(UINTN revision);
  ~MemoryTarnEvents();
  MemoryTarnEvents(const MemoryTarnEvents&) = delete;
  MemoryTarnEvents& operator=(const MemoryTarnEvents&) = delete;

  EFI_HANDLE Install();
  TarnEventProtocol* Protocol() { return &protocol_; }
  // Calls every live handler whose mask shares a bit with type, at TPL_NOTIFY.
  void Fire(uint32_t type, uint64_t data, uint32_t modifiers = 0, TarnEventPosition position = {0, 0});
  size_t LiveHandlers() const;
  int Registrations() const { return registrations_; }
  // What the caps-lock query answers from now on (off when an instance is made).
  void SetCapsLock(bool on) { caps_lock_on_ = on; }

 private:
  struct Handler {
    uint32_t mask;
    TarnEventHandler handler;
    void* context;
    bool live;
  };
  static EFI_STATUS EFIAPI Register(UINT32 mask, TarnEventHandler handler, TarnEventHandle* handle, VOID* context);
  static EFI_STATUS EFIAPI Unregister(TarnEventHandle handle);
  static EFI_STATUS EFIAPI SetCursor(TarnEventPosition*) { return EFI_SUCCESS; }
  static EFI_STATUS EFIAPI SetName(TarnEventHandle, const CHAR8*) { return EFI_SUCCESS; }
  static EFI_STATUS EFIAPI CapsLock(BOOLEAN* on) {
    if (on) *on = caps_lock_on_ ? TRUE : FALSE;
    return EFI_SUCCESS;
  }
  static inline bool caps_lock_on_ = false;
  TarnEventProtocol protocol_{};
  std::vector<Handler*> handlers_;
  int registrations_ = 0;
  EFI_HANDLE handle_ = nullptr;
  EFI_SYSTEM_TABLE* installed_on_ = nullptr;
};
