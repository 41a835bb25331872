#include "testfw/test_firmware.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "efi/protocols/device_path.h"
#include "efi/protocols/loaded_image.h"
#include "hw/fake/hw_fake.h"
#include "lib/host_reset.h"

namespace {

TestFirmware* gCurrent = nullptr;

std::string GuidKey(const EFI_GUID& g) { return std::string(reinterpret_cast<const char*>(&g), sizeof(g)); }

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

}  // namespace

std::u16string ToUtf16(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string ToAscii(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

// The service thunks: firmware calling convention outside, the current TestFirmware inside.
struct TestFirmware::Impl {
  static TestFirmware& F() { return *gCurrent; }

  // Memory ----------------------------------------------------------------------------
  static EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE, UINTN size, VOID** buffer) {
    if (!buffer) return EFI_INVALID_PARAMETER;
    if (F().ShouldFailPool()) return EFI_OUT_OF_RESOURCES;
    void* p = std::malloc(size ? size : 1);
    if (!p) return EFI_OUT_OF_RESOURCES;
    std::memset(p, 0xAF, size);  // pool is not zeroed: catch code that assumes it is
    F().pool_[p] = size;
    *buffer = p;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI FreePool(VOID* buffer) {
    auto it = F().pool_.find(buffer);
    if (it == F().pool_.end()) return EFI_INVALID_PARAMETER;
    F().CheckSecrets(static_cast<uint8_t*>(buffer), it->second);
    F().pool_.erase(it);
    std::free(buffer);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI AllocatePages(EFI_ALLOCATE_TYPE type, EFI_MEMORY_TYPE memory_type, UINTN pages,
                                         EFI_PHYSICAL_ADDRESS* memory) {
    if (!memory || pages == 0) return EFI_INVALID_PARAMETER;
    if (F().ShouldFailPages()) return EFI_OUT_OF_RESOURCES;
    size_t length = pages * EFI_PAGE_SIZE;
    void* p = MAP_FAILED;
    if (type == AllocateAddress) {
      if (*memory & (EFI_PAGE_SIZE - 1)) return EFI_NOT_FOUND;
      p = mmap(reinterpret_cast<void*>(*memory), length, PROT_READ | PROT_WRITE,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
      if (p != MAP_FAILED && p != reinterpret_cast<void*>(*memory)) {
        munmap(p, length);  // old kernels treat the flag as a hint
        p = MAP_FAILED;
      }
    } else if (type == AllocateMaxAddress) {
      // Search downwards from the limit for a free run; host memory below 2 GiB is mostly free.
      uint64_t limit = std::min<uint64_t>(*memory, 0x7FFF0000ull);
      for (uint64_t at = (limit + 1 - length) & ~uint64_t(0xFFFFF); at >= 0x10000000ull && p == MAP_FAILED;
           at -= 0x100000) {
        p = mmap(reinterpret_cast<void*>(at), length, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
        if (p != MAP_FAILED && p != reinterpret_cast<void*>(at)) {
          munmap(p, length);
          p = MAP_FAILED;
        }
      }
    } else {
      p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    }
    if (p == MAP_FAILED) return EFI_NOT_FOUND;
    *memory = reinterpret_cast<uint64_t>(p);
    F().pages_[*memory] = PageRun{pages, memory_type};
    ++F().map_key_;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI FreePages(EFI_PHYSICAL_ADDRESS memory, UINTN pages) {
    auto it = F().pages_.find(memory);
    if (it == F().pages_.end() || it->second.pages != pages) return EFI_NOT_FOUND;
    F().CheckSecrets(reinterpret_cast<uint8_t*>(memory), pages * EFI_PAGE_SIZE);
    munmap(reinterpret_cast<void*>(memory), pages * EFI_PAGE_SIZE);
    F().pages_.erase(it);
    ++F().map_key_;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI GetMemoryMap(UINTN* size, EFI_MEMORY_DESCRIPTOR* map, UINTN* key, UINTN* descriptor_size,
                                        UINT32* version) {
    if (!size) return EFI_INVALID_PARAMETER;
    TestFirmware& f = F();
    if (f.map_growth_pending_ > 0 && *size != 0 && map) {
      --f.map_growth_pending_;
      f.map_growth_done_ += f.map_growth_each_;
    }
    std::vector<EFI_MEMORY_DESCRIPTOR> current = f.CurrentMap();
    // A stride larger than the structure, as real firmware uses, keeps callers honest.
    const UINTN stride = sizeof(EFI_MEMORY_DESCRIPTOR) + 8;
    if (descriptor_size) *descriptor_size = stride;
    if (version) *version = 1;
    UINTN needed = current.size() * stride;
    if (*size < needed || !map) {
      *size = needed;
      return EFI_BUFFER_TOO_SMALL;
    }
    uint8_t* out = reinterpret_cast<uint8_t*>(map);
    std::memset(out, 0, needed);
    for (size_t i = 0; i < current.size(); ++i) std::memcpy(out + i * stride, &current[i], sizeof(current[i]));
    *size = needed;
    if (f.map_changes_pending_ > 0) {
      --f.map_changes_pending_;
      ++f.map_key_;  // the caller's key is stale by the time it uses it
      if (key) *key = f.map_key_ - 1;
    } else if (key) {
      *key = f.map_key_;
    }
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI ExitBootServices(EFI_HANDLE, UINTN key) {
    if (key != F().map_key_) return EFI_INVALID_PARAMETER;
    F().boot_services_exited_ = true;
    return EFI_SUCCESS;
  }

  // Events, timers and priorities ---------------------------------------------------
  static EFI_TPL EFIAPI RaiseTPL(EFI_TPL tpl) {
    EFI_TPL old = F().tpl_;
    F().tpl_ = tpl;
    return old;
  }

  static VOID EFIAPI RestoreTPL(EFI_TPL tpl) {
    F().tpl_ = tpl;
    F().FireTimers();
  }

  static EFI_STATUS EFIAPI CreateEvent(UINT32 type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify, VOID* context,
                                       EFI_EVENT* event) {
    if (!event) return EFI_INVALID_PARAMETER;
    if ((type & (EVT_NOTIFY_SIGNAL | EVT_NOTIFY_WAIT)) && !notify) return EFI_INVALID_PARAMETER;
    if (F().ShouldFailAllocation()) return EFI_OUT_OF_RESOURCES;
    Event* e = new Event{type, tpl, notify, context};
    F().events_.insert(e);
    *event = e;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI CreateEventEx(UINT32 type, EFI_TPL tpl, EFI_EVENT_NOTIFY notify, const VOID* context,
                                         const EFI_GUID*, EFI_EVENT* event) {
    return CreateEvent(type, tpl, notify, const_cast<VOID*>(context), event);
  }

  static Event* Find(EFI_EVENT event) {
    Event* e = static_cast<Event*>(event);
    return F().events_.count(e) ? e : nullptr;
  }

  static EFI_STATUS EFIAPI SetTimer(EFI_EVENT event, EFI_TIMER_DELAY type, UINT64 trigger) {
    Event* e = Find(event);
    if (!e || !(e->type & EVT_TIMER)) return EFI_INVALID_PARAMETER;
    if (type == TimerCancel) {
      e->deadline = 0;
      e->period = 0;
      return EFI_SUCCESS;
    }
    uint64_t delay = trigger ? trigger : 1;
    e->deadline = F().now_100ns_ + delay;
    e->period = type == TimerPeriodic ? delay : 0;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SignalEvent(EFI_EVENT event) {
    Event* e = Find(event);
    if (!e) return EFI_INVALID_PARAMETER;
    F().DispatchEvent(e);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI CloseEvent(EFI_EVENT event) {
    Event* e = Find(event);
    if (!e) return EFI_INVALID_PARAMETER;
    F().events_.erase(e);
    for (auto& r : F().registrations_) {
      if (r->event == event) r->event = nullptr;
    }
    delete e;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI CheckEvent(EFI_EVENT event) {
    Event* e = Find(event);
    if (!e || (e->type & EVT_NOTIFY_SIGNAL)) return EFI_INVALID_PARAMETER;
    if (!e->signaled && (e->type & EVT_NOTIFY_WAIT)) e->notify(e, e->context);
    if (!e->signaled) return EFI_NOT_READY;
    e->signaled = false;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI WaitForEvent(UINTN count, EFI_EVENT* events, UINTN* index) {
    if (count == 0 || !events || !index) return EFI_INVALID_PARAMETER;
    // Let simulated time pass until one is signalled; a wait that nothing can end is a test bug.
    for (int step = 0; step < 10'000'000; ++step) {
      for (UINTN i = 0; i < count; ++i) {
        if (CheckEvent(events[i]) == EFI_SUCCESS) {
          *index = i;
          return EFI_SUCCESS;
        }
      }
      F().Advance100ns(10'000);  // 1 ms
    }
    std::abort();
  }

  static EFI_STATUS EFIAPI Stall(UINTN microseconds) {
    F().total_stall_us_ += microseconds;
    F().Advance100ns(uint64_t(microseconds) * 10);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI GetNextMonotonicCount(UINT64* count) {
    static uint64_t counter = 0;
    if (!count) return EFI_INVALID_PARAMETER;
    *count = ++counter;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetWatchdogTimer(UINTN, UINT64, UINTN, CHAR16*) { return EFI_SUCCESS; }

  // Protocols ---------------------------------------------------------------------------
  static EFI_STATUS EFIAPI InstallProtocolInterface(EFI_HANDLE* handle, const EFI_GUID* guid, EFI_INTERFACE_TYPE,
                                                    VOID* interface) {
    if (!handle || !guid) return EFI_INVALID_PARAMETER;
    if (*handle && F().HasProtocol(*handle, *guid)) return EFI_INVALID_PARAMETER;
    *handle = F().InstallProtocol(*handle, *guid, interface);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI UninstallProtocolInterface(EFI_HANDLE handle, const EFI_GUID* guid, VOID* interface) {
    if (!guid || F().FindProtocol(handle, *guid) != interface) return EFI_NOT_FOUND;
    F().UninstallProtocol(handle, *guid);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI ReinstallProtocolInterface(EFI_HANDLE handle, const EFI_GUID* guid, VOID* old_interface,
                                                      VOID* new_interface) {
    if (!guid || F().FindProtocol(handle, *guid) != old_interface) return EFI_NOT_FOUND;
    for (auto& entry : F().handles_[handle]) {
      if (GuidEqual(entry.first, *guid)) entry.second = new_interface;
    }
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI HandleProtocol(EFI_HANDLE handle, const EFI_GUID* guid, VOID** interface) {
    if (!guid || !interface) return EFI_INVALID_PARAMETER;
    if (!F().handles_.count(handle)) return EFI_INVALID_PARAMETER;
    *interface = F().FindProtocol(handle, *guid);
    return F().HasProtocol(handle, *guid) ? EFI_SUCCESS : EFI_UNSUPPORTED;
  }

  static EFI_STATUS EFIAPI OpenProtocol(EFI_HANDLE handle, const EFI_GUID* guid, VOID** interface, EFI_HANDLE,
                                        EFI_HANDLE, UINT32 attributes) {
    if (!guid) return EFI_INVALID_PARAMETER;
    if (!F().handles_.count(handle)) return EFI_INVALID_PARAMETER;
    if (attributes != EFI_OPEN_PROTOCOL_TEST_PROTOCOL) {
      if (!interface) return EFI_INVALID_PARAMETER;
      *interface = F().FindProtocol(handle, *guid);
    }
    return F().HasProtocol(handle, *guid) ? EFI_SUCCESS : EFI_UNSUPPORTED;
  }

  static EFI_STATUS EFIAPI CloseProtocol(EFI_HANDLE handle, const EFI_GUID* guid, EFI_HANDLE, EFI_HANDLE) {
    if (!guid || !F().HasProtocol(handle, *guid)) return EFI_NOT_FOUND;
    return EFI_SUCCESS;
  }

  // A register-notify search hands out the oldest new handle, one per call; it moves on
  // only when the caller actually receives it (consume).
  static std::vector<EFI_HANDLE> Search(EFI_LOCATE_SEARCH_TYPE type, const EFI_GUID* guid, VOID* key,
                                        bool consume = true) {
    std::vector<EFI_HANDLE> out;
    if (type == ByRegisterNotify) {
      Registration* r = static_cast<Registration*>(key);
      for (auto& reg : F().registrations_) {
        if (reg.get() == r && !r->pending.empty()) {
          out.push_back(r->pending.front());
          if (consume) r->pending.erase(r->pending.begin());
        }
      }
      return out;
    }
    for (auto& [handle, list] : F().handles_) {
      if (type == AllHandles) {
        out.push_back(handle);
        continue;
      }
      for (auto& entry : list) {
        if (guid && GuidEqual(entry.first, *guid)) {
          out.push_back(handle);
          break;
        }
      }
    }
    return out;
  }

  static EFI_STATUS EFIAPI LocateHandle(EFI_LOCATE_SEARCH_TYPE type, const EFI_GUID* guid, VOID* key, UINTN* size,
                                        EFI_HANDLE* buffer) {
    if (!size) return EFI_INVALID_PARAMETER;
    std::vector<EFI_HANDLE> found = Search(type, guid, key, false);
    if (found.empty()) return EFI_NOT_FOUND;
    UINTN needed = found.size() * sizeof(EFI_HANDLE);
    if (*size < needed || !buffer) {
      *size = needed;
      return EFI_BUFFER_TOO_SMALL;
    }
    if (type == ByRegisterNotify) found = Search(type, guid, key, true);
    std::memcpy(buffer, found.data(), needed);
    *size = needed;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI LocateHandleBuffer(EFI_LOCATE_SEARCH_TYPE type, const EFI_GUID* guid, VOID* key,
                                              UINTN* count, EFI_HANDLE** buffer) {
    if (!count || !buffer) return EFI_INVALID_PARAMETER;
    std::vector<EFI_HANDLE> found = Search(type, guid, key);
    if (found.empty()) return EFI_NOT_FOUND;
    void* p = nullptr;
    EFI_STATUS status = AllocatePool(EfiBootServicesData, found.size() * sizeof(EFI_HANDLE), &p);
    if (EFI_ERROR(status)) return status;
    std::memcpy(p, found.data(), found.size() * sizeof(EFI_HANDLE));
    *count = found.size();
    *buffer = static_cast<EFI_HANDLE*>(p);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI LocateProtocol(const EFI_GUID* guid, VOID* registration, VOID** interface) {
    if (!guid || !interface) return EFI_INVALID_PARAMETER;
    std::vector<EFI_HANDLE> found =
        registration ? Search(ByRegisterNotify, guid, registration) : Search(ByProtocol, guid, nullptr);
    if (found.empty()) {
      *interface = nullptr;
      return EFI_NOT_FOUND;
    }
    *interface = F().FindProtocol(found.front(), *guid);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI RegisterProtocolNotify(const EFI_GUID* guid, EFI_EVENT event, VOID** registration) {
    if (!guid || !event || !registration) return EFI_INVALID_PARAMETER;
    auto r = std::make_unique<Registration>();
    r->guid = *guid;
    r->event = event;
    *registration = r.get();
    F().registrations_.push_back(std::move(r));
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI LocateDevicePath(const EFI_GUID* guid, EFI_DEVICE_PATH_PROTOCOL** path,
                                            EFI_HANDLE* device) {
    if (!guid || !path || !*path || !device) return EFI_INVALID_PARAMETER;
    // The handle whose device path is the longest prefix of *path.
    const uint8_t* wanted = reinterpret_cast<const uint8_t*>(*path);
    size_t best = 0;
    EFI_HANDLE best_handle = nullptr;
    for (auto& [handle, list] : F().handles_) {
      if (!F().FindProtocol(handle, *guid)) continue;
      auto* dp = static_cast<EFI_DEVICE_PATH_PROTOCOL*>(F().FindProtocol(handle, kEfiDevicePathProtocolGuid));
      if (!dp) continue;
      size_t length = 0;
      const EFI_DEVICE_PATH_PROTOCOL* node = dp;
      while (!IsDevicePathEnd(node)) {
        length += DevicePathNodeLength(node);
        node = NextDevicePathNode(node);
      }
      if (std::memcmp(dp, wanted, length) == 0 && (length > best || !best_handle)) {
        best = length;
        best_handle = handle;
      }
    }
    if (!best_handle) return EFI_NOT_FOUND;
    *device = best_handle;
    *path = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(const_cast<uint8_t*>(wanted) + best);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI InstallConfigurationTable(const EFI_GUID* guid, VOID* table) {
    if (!guid) return EFI_INVALID_PARAMETER;
    F().SetConfigurationTable(*guid, table);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI ConnectController(EFI_HANDLE, EFI_HANDLE*, EFI_DEVICE_PATH_PROTOCOL*, BOOLEAN) {
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI DisconnectController(EFI_HANDLE, EFI_HANDLE, EFI_HANDLE) { return EFI_SUCCESS; }

  // Images --------------------------------------------------------------------------------
  static EFI_STATUS EFIAPI LoadImage(BOOLEAN, EFI_HANDLE, EFI_DEVICE_PATH_PROTOCOL* path, VOID* source, UINTN size,
                                     EFI_HANDLE* image) {
    if (!image) return EFI_INVALID_PARAMETER;
    if (!F().image_loader_) return EFI_NOT_FOUND;
    std::optional<ImageEntry> entry = F().image_loader_(path, source, size);
    if (!entry) return EFI_NOT_FOUND;
    EFI_HANDLE handle = F().NewHandle();
    F().loaded_images_[handle] = *entry;
    *image = handle;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI StartImage(EFI_HANDLE image, UINTN*, CHAR16**) {
    auto it = F().loaded_images_.find(image);
    if (it == F().loaded_images_.end()) return EFI_INVALID_PARAMETER;
    return it->second(image);
  }

  static EFI_STATUS EFIAPI UnloadImage(EFI_HANDLE image) {
    return F().loaded_images_.erase(image) ? EFI_SUCCESS : EFI_INVALID_PARAMETER;
  }

  static EFI_STATUS EFIAPI Exit(EFI_HANDLE, EFI_STATUS status, UINTN, CHAR16*) {
    TestFirmware& f = F();
    if (f.run_stack_.empty()) std::abort();  // an exit with nobody to return to
    f.pending_result_ = RunResult{RunResult::How::kExited, status};
    std::longjmp(*f.run_stack_.back(), 1);
  }

  // Miscellaneous ---------------------------------------------------------------------------
  static EFI_STATUS EFIAPI CalculateCrc32(VOID* data, UINTN size, UINT32* crc) {
    if (!data || !crc || size == 0) return EFI_INVALID_PARAMETER;
    *crc = Crc32(static_cast<uint8_t*>(data), size);
    return EFI_SUCCESS;
  }
  static VOID EFIAPI CopyMem(VOID* dst, const VOID* src, UINTN size) { std::memmove(dst, src, size); }
  static VOID EFIAPI SetMem(VOID* dst, UINTN size, UINT8 value) { std::memset(dst, value, size); }

  // Runtime services ------------------------------------------------------------------------
  static EFI_STATUS EFIAPI GetTime(EFI_TIME* time, EFI_TIME_CAPABILITIES*) {
    if (!time) return EFI_INVALID_PARAMETER;
    if (F().get_time_fails_) return EFI_DEVICE_ERROR;
    *time = F().time_;
    return EFI_SUCCESS;
  }

  static std::pair<std::u16string, std::string> VarKey(const CHAR16* name, const EFI_GUID* guid) {
    return {std::u16string(name), GuidKey(*guid)};
  }

  static EFI_STATUS EFIAPI GetVariable(const CHAR16* name, const EFI_GUID* guid, UINT32* attributes, UINTN* size,
                                       VOID* data) {
    if (!name || !guid || !size) return EFI_INVALID_PARAMETER;
    auto it = F().variables_.find(VarKey(name, guid));
    if (it == F().variables_.end()) return EFI_NOT_FOUND;
    const Variable& v = it->second;
    if (attributes) *attributes = v.attributes;
    if (*size < v.data.size()) {
      *size = v.data.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    if (!data && !v.data.empty()) return EFI_INVALID_PARAMETER;
    if (!v.data.empty()) std::memcpy(data, v.data.data(), v.data.size());
    *size = v.data.size();
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetVariable(const CHAR16* name, const EFI_GUID* guid, UINT32 attributes, UINTN size,
                                       const VOID* data) {
    if (!name || !guid || !name[0]) return EFI_INVALID_PARAMETER;
    TestFirmware& f = F();
    ++f.variable_writes_;
    if (f.fail_variable_write_at_ > 0 && --f.fail_variable_write_at_ == 0) return EFI_DEVICE_ERROR;
    auto key = VarKey(name, guid);
    if (size == 0 || attributes == 0) {
      return f.variables_.erase(key) ? EFI_SUCCESS : EFI_NOT_FOUND;
    }
    if (!data) return EFI_INVALID_PARAMETER;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    f.variables_[key] = Variable{attributes, std::vector<uint8_t>(bytes, bytes + size)};
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI GetNextVariableName(UINTN* size, CHAR16* name, EFI_GUID* guid) {
    if (!size || !name || !guid) return EFI_INVALID_PARAMETER;
    auto& vars = F().variables_;
    auto it = vars.begin();
    if (name[0]) {
      it = vars.find(VarKey(name, guid));
      if (it == vars.end()) return EFI_INVALID_PARAMETER;
      ++it;
    }
    if (it == vars.end()) return EFI_NOT_FOUND;
    UINTN needed = (it->first.first.size() + 1) * sizeof(CHAR16);
    if (*size < needed) {
      *size = needed;
      return EFI_BUFFER_TOO_SMALL;
    }
    std::memcpy(name, it->first.first.c_str(), needed);
    std::memcpy(guid, it->first.second.data(), sizeof(EFI_GUID));
    *size = needed;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI QueryVariableInfo(UINT32, UINT64* max_storage, UINT64* remaining, UINT64* max_size) {
    if (max_storage) *max_storage = 0x10000;
    if (remaining) *remaining = 0x8000;
    if (max_size) *max_size = 0x2000;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetVirtualAddressMap(UINTN size, UINTN descriptor_size, UINT32 version,
                                                EFI_MEMORY_DESCRIPTOR* map) {
    if (F().set_virtual_address_map) return F().set_virtual_address_map(size, descriptor_size, version, map);
    return EFI_SUCCESS;
  }

  static VOID EFIAPI ResetSystem(EFI_RESET_TYPE type, EFI_STATUS status, UINTN, VOID*) {
    TestFirmware& f = F();
    if (f.run_stack_.empty()) std::abort();
    f.pending_result_ = RunResult{RunResult::How::kReset, status, type};
    std::longjmp(*f.run_stack_.back(), 1);
  }

  static EFI_STATUS EFIAPI Unsupported() { return EFI_UNSUPPORTED; }

  // Console -----------------------------------------------------------------------------------
  static EFI_STATUS EFIAPI OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, const CHAR16* text) {
    if (!text) return EFI_INVALID_PARAMETER;
    F().console_ += text;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI ConsoleControlGetMode(EFI_CONSOLE_CONTROL_PROTOCOL*, EFI_CONSOLE_CONTROL_SCREEN_MODE* mode,
                                                 BOOLEAN* gop_uga_exists, BOOLEAN* std_in_locked) {
    if (!mode) return EFI_INVALID_PARAMETER;
    *mode = F().console_control_mode_;
    if (gop_uga_exists) *gop_uga_exists = TRUE;
    if (std_in_locked) *std_in_locked = FALSE;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI ConsoleControlSetMode(EFI_CONSOLE_CONTROL_PROTOCOL*, EFI_CONSOLE_CONTROL_SCREEN_MODE mode) {
    if (mode >= EfiConsoleControlScreenMaxValue) return EFI_INVALID_PARAMETER;
    F().console_control_mode_ = mode;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI ConsoleControlLockStdIn(EFI_CONSOLE_CONTROL_PROTOCOL*, CHAR16*) { return EFI_UNSUPPORTED; }

  static EFI_STATUS EFIAPI TextReset(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, BOOLEAN) { return EFI_SUCCESS; }
  static EFI_STATUS EFIAPI TestString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, const CHAR16*) { return EFI_SUCCESS; }
  static EFI_STATUS EFIAPI QueryMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN mode, UINTN* columns, UINTN* rows) {
    if (mode != 0) return EFI_UNSUPPORTED;
    *columns = 80;
    *rows = 25;
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI SetMode(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN mode) {
    return mode == 0 ? EFI_SUCCESS : EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI SetAttribute(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out, UINTN attribute) {
    out->Mode->Attribute = static_cast<INT32>(attribute);
    return EFI_SUCCESS;
  }
  static EFI_STATUS EFIAPI ClearScreen(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*) { return EFI_SUCCESS; }
  static EFI_STATUS EFIAPI SetCursorPosition(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, UINTN, UINTN) { return EFI_SUCCESS; }
  static EFI_STATUS EFIAPI EnableCursor(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL* out, BOOLEAN visible) {
    out->Mode->CursorVisible = visible;
    return EFI_SUCCESS;
  }
};

TestFirmware::TestFirmware() {
  if (gCurrent) std::abort();  // one firmware at a time
  gCurrent = this;
  HwFakeReset();
  RunHostResetHooks();
  HwFakeSetHaltHandler([this] {
    if (run_stack_.empty()) std::abort();
    pending_result_ = RunResult{RunResult::How::kHalted, EFI_ABORTED};
    std::longjmp(*run_stack_.back(), 1);
  });

  HwFakeSetKernelEntryHandler([this] {
    if (run_stack_.empty()) std::abort();
    secrets_at_kernel_entry_ = SecretsInLoaderMemory();
    pending_result_ = RunResult{RunResult::How::kKernelEntered, EFI_SUCCESS};
    std::longjmp(*run_stack_.back(), 1);
  });

  EFI_BOOT_SERVICES& bs = boot_services_;
  bs.Hdr.Signature = EFI_BOOT_SERVICES_SIGNATURE;
  bs.Hdr.Revision = (2 << 16) | 70;
  bs.Hdr.HeaderSize = sizeof(bs);
  bs.RaiseTPL = Impl::RaiseTPL;
  bs.RestoreTPL = Impl::RestoreTPL;
  bs.AllocatePages = Impl::AllocatePages;
  bs.FreePages = Impl::FreePages;
  bs.GetMemoryMap = Impl::GetMemoryMap;
  bs.AllocatePool = Impl::AllocatePool;
  bs.FreePool = Impl::FreePool;
  bs.CreateEvent = Impl::CreateEvent;
  bs.SetTimer = Impl::SetTimer;
  bs.WaitForEvent = Impl::WaitForEvent;
  bs.SignalEvent = Impl::SignalEvent;
  bs.CloseEvent = Impl::CloseEvent;
  bs.CheckEvent = Impl::CheckEvent;
  bs.InstallProtocolInterface = Impl::InstallProtocolInterface;
  bs.ReinstallProtocolInterface = Impl::ReinstallProtocolInterface;
  bs.UninstallProtocolInterface = Impl::UninstallProtocolInterface;
  bs.HandleProtocol = Impl::HandleProtocol;
  bs.RegisterProtocolNotify = Impl::RegisterProtocolNotify;
  bs.LocateHandle = Impl::LocateHandle;
  bs.LocateDevicePath = Impl::LocateDevicePath;
  bs.InstallConfigurationTable = Impl::InstallConfigurationTable;
  bs.LoadImage = Impl::LoadImage;
  bs.StartImage = Impl::StartImage;
  bs.Exit = Impl::Exit;
  bs.UnloadImage = Impl::UnloadImage;
  bs.ExitBootServices = Impl::ExitBootServices;
  bs.GetNextMonotonicCount = Impl::GetNextMonotonicCount;
  bs.Stall = Impl::Stall;
  bs.SetWatchdogTimer = Impl::SetWatchdogTimer;
  bs.ConnectController = Impl::ConnectController;
  bs.DisconnectController = Impl::DisconnectController;
  bs.OpenProtocol = Impl::OpenProtocol;
  bs.CloseProtocol = Impl::CloseProtocol;
  bs.LocateHandleBuffer = Impl::LocateHandleBuffer;
  bs.LocateProtocol = Impl::LocateProtocol;
  bs.CalculateCrc32 = Impl::CalculateCrc32;
  bs.CopyMem = Impl::CopyMem;
  bs.SetMem = Impl::SetMem;
  bs.CreateEventEx = Impl::CreateEventEx;

  EFI_RUNTIME_SERVICES& rs = runtime_services_;
  rs.Hdr.Signature = EFI_RUNTIME_SERVICES_SIGNATURE;
  rs.Hdr.Revision = (2 << 16) | 70;
  rs.Hdr.HeaderSize = sizeof(rs);
  rs.GetTime = Impl::GetTime;
  rs.SetVirtualAddressMap = Impl::SetVirtualAddressMap;
  rs.GetVariable = Impl::GetVariable;
  rs.GetNextVariableName = Impl::GetNextVariableName;
  rs.SetVariable = Impl::SetVariable;
  rs.ResetSystem = Impl::ResetSystem;
  rs.QueryVariableInfo = Impl::QueryVariableInfo;

  con_out_mode_ = SIMPLE_TEXT_OUTPUT_MODE{1, 0, 0x07, 0, 0, 1};
  con_out_.Reset = Impl::TextReset;
  con_out_.OutputString = Impl::OutputString;
  con_out_.TestString = Impl::TestString;
  con_out_.QueryMode = Impl::QueryMode;
  con_out_.SetMode = Impl::SetMode;
  con_out_.SetAttribute = Impl::SetAttribute;
  con_out_.ClearScreen = Impl::ClearScreen;
  con_out_.SetCursorPosition = Impl::SetCursorPosition;
  con_out_.EnableCursor = Impl::EnableCursor;
  con_out_.Mode = &con_out_mode_;

  console_control_.GetMode = Impl::ConsoleControlGetMode;
  console_control_.SetMode = Impl::ConsoleControlSetMode;
  console_control_.LockStdIn = Impl::ConsoleControlLockStdIn;

  image_handle_ = NewHandle();
  EFI_SYSTEM_TABLE& st = system_table_;
  st.Hdr.Signature = EFI_SYSTEM_TABLE_SIGNATURE;
  st.Hdr.Revision = (2 << 16) | 70;
  st.Hdr.HeaderSize = sizeof(st);
  st.FirmwareVendor = firmware_vendor_.data();
  st.FirmwareRevision = 0x10000;
  st.ConsoleOutHandle = NewHandle();
  st.ConOut = &con_out_;
  st.StandardErrorHandle = st.ConsoleOutHandle;
  st.StdErr = &con_out_;
  st.RuntimeServices = &runtime_services_;
  st.BootServices = &boot_services_;
  uint32_t crc = 0;
  st.Hdr.CRC32 = 0;
  crc = Crc32(reinterpret_cast<uint8_t*>(&st), st.Hdr.HeaderSize);
  st.Hdr.CRC32 = crc;

  // A plausible map of the ranges nobody touches. Runtime regions are real host memory: a
  // test allocates pages of the runtime types and they appear with the runtime attribute.
  base_map_ = {
      {EfiConventionalMemory, 0, 0x0, 0, 0x9F, 0xF},
      {EfiBootServicesData, 0, 0x900000, 0, 0xC00, 0xF},
      {EfiACPIReclaimMemory, 0, 0x7C000000, 0, 0x10, 0xF},
  };

  console_control_handle_ = InstallProtocol(nullptr, kEfiConsoleControlProtocolGuid, &console_control_);

  gImageHandle = image_handle_;
  gST = &system_table_;
  gBS = &boot_services_;
  gRT = &runtime_services_;
}

TestFirmware::~TestFirmware() {
  for (auto& [p, size] : pool_) std::free(p);
  for (auto& [address, run] : pages_) munmap(reinterpret_cast<void*>(address), run.pages * EFI_PAGE_SIZE);
  for (Event* e : events_) delete e;
  HwFakeSetHaltHandler(nullptr);
  HwFakeSetKernelEntryHandler(nullptr);
  gImageHandle = nullptr;
  gST = nullptr;
  gBS = nullptr;
  gRT = nullptr;
  gCurrent = nullptr;
}

TestFirmware& TestFirmware::Current() {
  if (!gCurrent) std::abort();
  return *gCurrent;
}

TestFirmware::RunResult TestFirmware::Run(const std::function<EFI_STATUS()>& fn) {
  std::jmp_buf here;
  run_stack_.push_back(&here);
  if (setjmp(here) != 0) {
    run_stack_.pop_back();
    return pending_result_;
  }
  EFI_STATUS status = fn();
  run_stack_.pop_back();
  return RunResult{RunResult::How::kReturned, status};
}

bool TestFirmware::ShouldFailAllocation() {
  return fail_allocation_at_ > 0 && --fail_allocation_at_ == 0;
}

int TestFirmware::CheckSecrets(const uint8_t* data, size_t size) {
  int found = 0;
  for (const auto& secret : secrets_) {
    if (secret.empty() || secret.size() > size) continue;
    if (std::search(data, data + size, secret.begin(), secret.end()) != data + size) ++found;
  }
  secrets_leaked_ += found;
  return found;
}

int TestFirmware::SecretsInLoaderMemory() {
  int leaked_before = secrets_leaked_, found = 0;
  for (const auto& [block, size] : pool_) found += CheckSecrets(static_cast<const uint8_t*>(block), size);
  for (const auto& [address, run] : pages_) {
    found += CheckSecrets(reinterpret_cast<const uint8_t*>(address), run.pages * EFI_PAGE_SIZE);
  }
  for (const auto& [data, size] : image_data_) found += CheckSecrets(data, size);
  secrets_leaked_ = leaked_before;  // nothing was freed: this is its own count
  return found;
}

void TestFirmware::DispatchEvent(Event* e) {
  if (e->type & EVT_NOTIFY_SIGNAL) {
    if (e->tpl > tpl_) {
      EFI_TPL old = tpl_;
      tpl_ = e->tpl;
      e->notify(e, e->context);
      tpl_ = old;
    } else {
      e->signaled = true;  // runs when the priority drops (RestoreTPL)
    }
  } else {
    e->signaled = true;
  }
}

void TestFirmware::FireTimers() {
  std::vector<Event*> due;
  for (Event* e : events_) {
    if ((e->deadline && e->deadline <= now_100ns_) || ((e->type & EVT_NOTIFY_SIGNAL) && e->signaled)) due.push_back(e);
  }
  for (Event* e : due) {
    if (!events_.count(e)) continue;  // closed by an earlier callback
    if (e->deadline && e->deadline <= now_100ns_) e->deadline = e->period ? now_100ns_ + e->period : 0;
    if ((e->type & EVT_NOTIFY_SIGNAL) && e->tpl <= tpl_) {
      e->signaled = true;
      continue;
    }
    e->signaled = false;
    DispatchEvent(e);
  }
}

void TestFirmware::Advance100ns(uint64_t delta) {
  now_100ns_ += delta;
  FireTimers();
}

std::vector<EFI_MEMORY_DESCRIPTOR> TestFirmware::CurrentMap() const {
  std::vector<EFI_MEMORY_DESCRIPTOR> map = base_map_;
  for (auto& [address, run] : pages_) {
    if (address >= 0x100000000ull) continue;  // host memory above 4 GiB is not part of the machine
    bool runtime = run.type == EfiRuntimeServicesCode || run.type == EfiRuntimeServicesData;
    map.push_back({run.type, 0, address, 0, run.pages, 0xF | (runtime ? EFI_MEMORY_RUNTIME : 0)});
  }
  for (int i = 0; i < map_growth_done_; ++i) {
    map.push_back({EfiBootServicesData, 0, 0x200000000ull + uint64_t(i) * 0x100000, 0, 1, 0xF});
  }
  return map;
}

EFI_HANDLE TestFirmware::NewHandle() {
  handle_storage_.push_back(std::make_unique<char>(0));
  EFI_HANDLE h = handle_storage_.back().get();
  handles_[h];
  return h;
}

EFI_HANDLE TestFirmware::InstallProtocol(EFI_HANDLE handle, const EFI_GUID& guid, void* interface) {
  if (!handle) handle = NewHandle();
  handles_[handle].push_back({guid, interface});
  for (auto& r : registrations_) {
    if (GuidEqual(r->guid, guid)) {
      r->pending.push_back(handle);
      if (r->event && events_.count(static_cast<Event*>(r->event))) DispatchEvent(static_cast<Event*>(r->event));
    }
  }
  return handle;
}

void TestFirmware::UninstallProtocol(EFI_HANDLE handle, const EFI_GUID& guid) {
  auto& list = handles_[handle];
  list.erase(std::remove_if(list.begin(), list.end(), [&](auto& e) { return GuidEqual(e.first, guid); }), list.end());
}

bool TestFirmware::HasProtocol(EFI_HANDLE handle, const EFI_GUID& guid) const {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  for (auto& entry : it->second) {
    if (GuidEqual(entry.first, guid)) return true;
  }
  return false;
}

void* TestFirmware::FindProtocol(EFI_HANDLE handle, const EFI_GUID& guid) const {
  auto it = handles_.find(handle);
  if (it == handles_.end()) return nullptr;
  for (auto& entry : it->second) {
    if (GuidEqual(entry.first, guid)) return entry.second;
  }
  return nullptr;
}

void TestFirmware::SetVariable(const std::u16string& name, const EFI_GUID& guid, uint32_t attributes,
                               const std::vector<uint8_t>& data) {
  variables_[{name, GuidKey(guid)}] = Variable{attributes, data};
}

void TestFirmware::SetVariable(const std::u16string& name, const EFI_GUID& guid, const std::string& text,
                               uint32_t attributes) {
  SetVariable(name, guid, attributes, std::vector<uint8_t>(text.begin(), text.end()));
}

std::optional<std::vector<uint8_t>> TestFirmware::GetVariable(const std::u16string& name, const EFI_GUID& guid) const {
  auto it = variables_.find({name, GuidKey(guid)});
  if (it == variables_.end()) return std::nullopt;
  return it->second.data;
}

std::optional<uint32_t> TestFirmware::VariableAttributes(const std::u16string& name, const EFI_GUID& guid) const {
  auto it = variables_.find({name, GuidKey(guid)});
  if (it == variables_.end()) return std::nullopt;
  return it->second.attributes;
}

std::string TestFirmware::ConsoleText() const { return ToAscii(console_); }

void TestFirmware::SetConfigurationTable(const EFI_GUID& guid, void* table) {
  auto& list = config_tables_;
  auto it = std::find_if(list.begin(), list.end(), [&](auto& t) { return GuidEqual(t.VendorGuid, guid); });
  if (it != list.end()) {
    if (table) {
      it->VendorTable = table;
    } else {
      list.erase(it);
    }
  } else if (table) {
    list.push_back({guid, table});
  }
  system_table_.NumberOfTableEntries = list.size();
  system_table_.ConfigurationTable = list.empty() ? nullptr : list.data();
}

void TestFirmware::RemoveConsoleControl() { UninstallProtocol(console_control_handle_, kEfiConsoleControlProtocolGuid); }

void TestFirmware::RemoveConsoleOut(bool also_stderr) {
  system_table_.ConOut = nullptr;
  if (also_stderr) system_table_.StdErr = nullptr;
}
