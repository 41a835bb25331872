// An in-process UEFI firmware for host tests: boot services, runtime services and the
// protocols the loader calls, over host memory, a simulated clock and in-memory devices.
// Constructing a TestFirmware points gST/gBS/gRT/gImageHandle at it and resets the hardware
// fake; destroying it frees everything it handed out.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "efi/efi.h"
#include "efi/protocols/console_control.h"
#include "efi/protocols/simple_text_output.h"

class TestFirmware {
 public:
  TestFirmware();
  ~TestFirmware();
  TestFirmware(const TestFirmware&) = delete;
  TestFirmware& operator=(const TestFirmware&) = delete;

  // The firmware in charge; tests construct exactly one at a time.
  static TestFirmware& Current();

  EFI_SYSTEM_TABLE* SystemTable() { return &system_table_; }
  EFI_HANDLE ImageHandle() { return image_handle_; }

  // --- Running code that may leave through Exit, ResetSystem or a halt -------------------
  struct RunResult {
    enum class How { kReturned, kExited, kReset, kHalted, kKernelEntered } how;
    EFI_STATUS status;              // returned or exit status, or the reset status
    EFI_RESET_TYPE reset_type = EfiResetCold;
  };
  // Runs fn; Exit of the image, ResetSystem and HwHalt come back here instead of ending the test.
  RunResult Run(const std::function<EFI_STATUS()>& fn);

  // --- Memory ---------------------------------------------------------------------------
  size_t LivePoolBlocks() const { return pool_.size(); }
  size_t LivePageRuns() const { return pages_.size(); }
  // Fails the nth pool or page allocation from now on (1 = the next one); 0 switches off.
  void FailNthAllocation(int n) { fail_allocation_at_ = n; }
  // The same, counting only pool allocations or only page allocations.
  void FailNthPoolAllocation(int n) { fail_pool_at_ = n; }
  void FailNthPageAllocation(int n) { fail_pages_at_ = n; }
  // True while an armed allocation or variable-write fault has not fired yet.
  bool FaultPending() const {
    return fail_allocation_at_ > 0 || fail_pool_at_ > 0 || fail_pages_at_ > 0 || fail_variable_write_at_ > 0;
  }
  // Any freed pool block or page run that still holds these bytes counts as a leaked secret.
  void WatchSecret(const std::vector<uint8_t>& secret) { secrets_.push_back(secret); }
  int SecretsLeaked() const { return secrets_leaked_; }
  // Memory of the loader's own image (its globals), which the kernel receives like the
  // loader's pools and pages.
  void AddImageData(const void* data, size_t size) { image_data_.push_back({static_cast<const uint8_t*>(data), size}); }
  // Watched secrets that were still in loader memory (live pool blocks, page runs, image
  // data) when the kernel was entered; -1 before a kernel entry.
  int SecretsAtKernelEntry() const { return secrets_at_kernel_entry_; }
  // Memory map contents (descriptors before page allocations are added) and the map key.
  void SetMemoryMap(std::vector<EFI_MEMORY_DESCRIPTOR> map) { base_map_ = std::move(map); ++map_key_; }
  // The map changes (its key moves) on each of the next n GetMemoryMap calls.
  void ChangeMemoryMapTimes(int n) { map_changes_pending_ = n; }
  // Grows the map by `each` descriptors just before each of the next n fetches into a buffer,
  // as when the firmware allocates between the caller's size query and its fetch.
  void GrowMemoryMapTimes(int n, int each = 1) {
    map_growth_pending_ = n;
    map_growth_each_ = each;
  }
  UINTN MemoryMapKey() const { return map_key_; }
  bool BootServicesExited() const { return boot_services_exited_; }

  // --- Clock, events and task priority --------------------------------------------------
  uint64_t Now100ns() const { return now_100ns_; }
  // Advances the clock, firing due timers.
  void Advance100ns(uint64_t delta);
  EFI_TPL CurrentTpl() const { return tpl_; }
  uint64_t TotalStallMicroseconds() const { return total_stall_us_; }
  size_t LiveEvents() const { return events_.size(); }
  void SetTime(const EFI_TIME& time, bool fails = false) { time_ = time; get_time_fails_ = fails; }

  // --- Protocols ------------------------------------------------------------------------
  // Installs an interface on a handle (a new handle when handle is null); returns the handle.
  EFI_HANDLE InstallProtocol(EFI_HANDLE handle, const EFI_GUID& guid, void* interface);
  void UninstallProtocol(EFI_HANDLE handle, const EFI_GUID& guid);
  void* FindProtocol(EFI_HANDLE handle, const EFI_GUID& guid) const;
  // True when the handle carries the protocol, whatever its interface (tags carry null).
  bool HasProtocol(EFI_HANDLE handle, const EFI_GUID& guid) const;
  EFI_HANDLE NewHandle();

  // --- Configuration tables --------------------------------------------------------------
  // Adds or replaces a configuration table (the firmware's InstallConfigurationTable).
  void SetConfigurationTable(const EFI_GUID& guid, void* table);

  // --- Variables ------------------------------------------------------------------------
  void SetVariable(const std::u16string& name, const EFI_GUID& guid, uint32_t attributes,
                   const std::vector<uint8_t>& data);
  void SetVariable(const std::u16string& name, const EFI_GUID& guid, const std::string& text, uint32_t attributes = 7);
  std::optional<std::vector<uint8_t>> GetVariable(const std::u16string& name, const EFI_GUID& guid) const;
  std::optional<uint32_t> VariableAttributes(const std::u16string& name, const EFI_GUID& guid) const;
  // Fails the nth SetVariable call from now on with EFI_DEVICE_ERROR (1 = the next one).
  void FailNthVariableWrite(int n) { fail_variable_write_at_ = n; }
  int VariableWrites() const { return variable_writes_; }

  // --- Console --------------------------------------------------------------------------
  // Everything written to ConOut and StdErr, as UTF-8 (characters above 0x7F as '?').
  std::string ConsoleText() const;
  void ClearConsole() { console_.clear(); }
  // Removes ConOut (and StdErr) from the system table.
  void RemoveConsoleOut(bool also_stderr);
  // The console control protocol (installed by default, in graphics mode, as the platform
  // loader provides it on generic firmware).
  void RemoveConsoleControl();
  EFI_CONSOLE_CONTROL_SCREEN_MODE ConsoleControlMode() const { return console_control_mode_; }

  // --- Images ---------------------------------------------------------------------------
  // LoadImage of a matching device path / buffer succeeds and StartImage runs fn.
  using ImageEntry = std::function<EFI_STATUS(EFI_HANDLE image)>;
  void SetImageLoader(std::function<std::optional<ImageEntry>(EFI_DEVICE_PATH_PROTOCOL*, const void*, UINTN)> loader) {
    image_loader_ = std::move(loader);
  }

  // --- Hooks for later pieces ----------------------------------------------------------
  // Replaces the runtime service SetVirtualAddressMap.
  std::function<EFI_STATUS(UINTN, UINTN, UINT32, EFI_MEMORY_DESCRIPTOR*)> set_virtual_address_map;

  // Internal entry points used by the service thunks.
  struct Impl;

 private:
  friend struct Impl;
  struct Event {
    UINT32 type;
    EFI_TPL tpl;
    EFI_EVENT_NOTIFY notify;
    void* context;
    bool signaled = false;
    uint64_t deadline = 0;  // 0: no timer
    uint64_t period = 0;
  };
  struct Registration {
    EFI_GUID guid;
    EFI_EVENT event;
    std::vector<EFI_HANDLE> pending;
  };
  struct Variable {
    uint32_t attributes;
    std::vector<uint8_t> data;
  };
  struct PageRun {
    uint64_t pages;
    EFI_MEMORY_TYPE type;
  };

  bool ShouldFailAllocation();
  // Both counters tick on every allocation of their kind.
  bool ShouldFailPool() {
    bool any = ShouldFailAllocation();
    bool pool = fail_pool_at_ > 0 && --fail_pool_at_ == 0;
    return any || pool;
  }
  bool ShouldFailPages() {
    bool any = ShouldFailAllocation();
    bool pages = fail_pages_at_ > 0 && --fail_pages_at_ == 0;
    return any || pages;
  }
  int CheckSecrets(const uint8_t* data, size_t size);
  int SecretsInLoaderMemory();
  void FireTimers();
  void DispatchEvent(Event* e);
  std::vector<EFI_MEMORY_DESCRIPTOR> CurrentMap() const;

  EFI_SYSTEM_TABLE system_table_{};
  EFI_BOOT_SERVICES boot_services_{};
  EFI_RUNTIME_SERVICES runtime_services_{};
  EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL con_out_{};
  SIMPLE_TEXT_OUTPUT_MODE con_out_mode_{};
  std::u16string firmware_vendor_ = u"Hearth Test Firmware";
  EFI_HANDLE image_handle_ = nullptr;

  std::map<void*, size_t> pool_;
  std::map<uint64_t, PageRun> pages_;
  int fail_allocation_at_ = 0;
  int fail_pool_at_ = 0;
  int fail_pages_at_ = 0;
  std::vector<std::vector<uint8_t>> secrets_;
  int secrets_leaked_ = 0;
  std::vector<std::pair<const uint8_t*, size_t>> image_data_;
  int secrets_at_kernel_entry_ = -1;
  std::vector<EFI_MEMORY_DESCRIPTOR> base_map_;
  UINTN map_key_ = 1;
  int map_changes_pending_ = 0;
  int map_growth_pending_ = 0;
  int map_growth_done_ = 0;
  int map_growth_each_ = 1;
  bool boot_services_exited_ = false;

  uint64_t now_100ns_ = 0;
  uint64_t total_stall_us_ = 0;
  EFI_TPL tpl_ = TPL_APPLICATION;
  std::set<Event*> events_;
  EFI_TIME time_{2026, 12, 10, 9, 30, 0, 0, 0, 0, 0, 0};
  bool get_time_fails_ = false;

  std::map<EFI_HANDLE, std::vector<std::pair<EFI_GUID, void*>>> handles_;
  std::vector<std::unique_ptr<char>> handle_storage_;
  std::vector<std::unique_ptr<Registration>> registrations_;

  std::map<std::pair<std::u16string, std::string>, Variable> variables_;
  int fail_variable_write_at_ = 0;
  int variable_writes_ = 0;

  std::u16string console_;
  std::vector<EFI_CONFIGURATION_TABLE> config_tables_;
  EFI_CONSOLE_CONTROL_PROTOCOL console_control_{};
  EFI_CONSOLE_CONTROL_SCREEN_MODE console_control_mode_ = EfiConsoleControlScreenGraphics;
  EFI_HANDLE console_control_handle_ = nullptr;

  std::function<std::optional<ImageEntry>(EFI_DEVICE_PATH_PROTOCOL*, const void*, UINTN)> image_loader_;
  std::map<EFI_HANDLE, ImageEntry> loaded_images_;

  std::vector<std::jmp_buf*> run_stack_;
  RunResult pending_result_{};
};

// Text helpers for tests.
std::u16string ToUtf16(const std::string& ascii);
std::string ToAscii(const std::u16string& text);
