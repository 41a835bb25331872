#include "testfw/memory_input_devices.h"

#include "testfw/test_firmware.h"

namespace {
MemoryTarnEvents* gInstalledEvents = nullptr;  // the protocol's calls carry no This pointer
}

MemoryPointer::MemoryPointer(uint64_t resolution_x, uint64_t resolution_y) {
  protocol_.Reset = Reset;
  protocol_.GetState = GetState;
  mode_.ResolutionX = resolution_x;
  mode_.ResolutionY = resolution_y;
  mode_.LeftButton = TRUE;
  mode_.RightButton = TRUE;
  protocol_.Mode = &mode_;
}

MemoryPointer::~MemoryPointer() {
  if (handle_ && gST == installed_on_) TestFirmware::Current().UninstallProtocol(handle_, kEfiSimplePointerProtocolGuid);
}

EFI_HANDLE MemoryPointer::Install() {
  handle_ = TestFirmware::Current().InstallProtocol(nullptr, kEfiSimplePointerProtocolGuid, &protocol_);
  installed_on_ = gST;
  return handle_;
}

EFI_STATUS EFIAPI MemoryPointer::Reset(EFI_SIMPLE_POINTER_PROTOCOL*, BOOLEAN) { return EFI_SUCCESS; }

EFI_STATUS EFIAPI MemoryPointer::GetState(EFI_SIMPLE_POINTER_PROTOCOL* self, EFI_SIMPLE_POINTER_STATE* state) {
  auto* p = reinterpret_cast<MemoryPointer*>(self);
  ++p->reads_;
  if (!p->changed_) return EFI_NOT_READY;
  *state = EFI_SIMPLE_POINTER_STATE{p->dx_, p->dy_, 0, p->left_, p->right_};
  p->dx_ = p->dy_ = 0;
  p->changed_ = false;
  return EFI_SUCCESS;
}

MemoryTarnEvents::MemoryTarnEvents(UINTN revision) {
  protocol_ = TarnEventProtocol{revision, Register, Unregister, SetCursor, SetName, CapsLock};
  caps_lock_on_ = false;
}

MemoryTarnEvents::~MemoryTarnEvents() {
  if (handle_ && gST == installed_on_) TestFirmware::Current().UninstallProtocol(handle_, kTarnEventProtocolGuid);
  if (gInstalledEvents == this) gInstalledEvents = nullptr;
  for (Handler* h : handlers_) delete h;
}

EFI_HANDLE MemoryTarnEvents::Install() {
  handle_ = TestFirmware::Current().InstallProtocol(nullptr, kTarnEventProtocolGuid, &protocol_);
  installed_on_ = gST;
  gInstalledEvents = this;
  return handle_;
}

EFI_STATUS EFIAPI MemoryTarnEvents::Register(UINT32 mask, TarnEventHandler handler, TarnEventHandle* handle,
                                             VOID* context) {
  if (!gInstalledEvents || mask == 0 || !handler || !handle) return EFI_INVALID_PARAMETER;
  auto* h = new Handler{mask, handler, context, true};
  gInstalledEvents->handlers_.push_back(h);
  ++gInstalledEvents->registrations_;
  *handle = h;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemoryTarnEvents::Unregister(TarnEventHandle handle) {
  if (!gInstalledEvents) return EFI_INVALID_PARAMETER;
  for (Handler* h : gInstalledEvents->handlers_) {
    if (h == handle && h->live) {
      h->live = false;
      return EFI_SUCCESS;
    }
  }
  return EFI_INVALID_PARAMETER;
}

void MemoryTarnEvents::Fire(uint32_t type, uint64_t data, uint32_t modifiers, TarnEventPosition position) {
  TarnEventRecord record{};
  record.Type = type;
  record.Data = data;
  record.Modifiers = modifiers;
  record.Position = position;
  EFI_TPL old = gBS->RaiseTPL(TPL_NOTIFY);
  std::vector<Handler*> now = handlers_;
  for (Handler* h : now) {
    if (h->live && (h->mask & type)) h->handler(&record, h->context);
  }
  gBS->RestoreTPL(old);
}

size_t MemoryTarnEvents::LiveHandlers() const {
  size_t n = 0;
  for (Handler* h : handlers_) n += h->live ? 1 : 0;
  return n;
}
