// A multiprocessor-services stand-in for host tests: EFI_MP_SERVICES_PROTOCOL with one boot
// processor and N-1 application processors, each application processor a std::thread.
//
//   TestFirmware fw;
//   MemoryMpServices mp(3);      // the boot processor and two application processors
//   mp.Install();
//
// StartupAllAPs without a wait event runs the procedure on every application processor and
// returns when all are done. With a wait event it starts the threads and returns at once; the
// procedure runs in parallel with the caller. As firmware does, a periodic timer event on the
// boot processor checks on them: when it fires it waits for the threads to end and signals the
// wait event, so completion is always reported in the boot processor's thread of control.
// WhoAmI answers the calling thread's processor number. StartupThisAP, SwitchBSP and
// EnableDisableAP are unsupported.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>
#include <vector>

#include "efi/efi.h"
#include "efi/protocols/mp_services.h"

class MemoryMpServices {
 public:
  // processors counts the boot processor; bsp_number is its processor number.
  explicit MemoryMpServices(size_t processors, size_t bsp_number = 0);
  ~MemoryMpServices();
  MemoryMpServices(const MemoryMpServices&) = delete;
  MemoryMpServices& operator=(const MemoryMpServices&) = delete;

  // Installs the protocol on a new handle of the current TestFirmware.
  EFI_HANDLE Install();
  EFI_MP_SERVICES_PROTOCOL* Protocol() { return &protocol_; }

  // The next StartupAllAPs call fails with this status (once).
  void FailNextStartup(EFI_STATUS status) { fail_next_ = status; }
  int Startups() const { return startups_; }
  // Calls of the procedure on application processors so far.
  int ProcedureRuns() const { return procedure_runs_.load(); }
  // Distinct application processors that ran the procedure at least once.
  size_t ProcessorsUsed() const;

  struct Ops;

 private:
  friend struct Ops;
  void Launch(EFI_AP_PROCEDURE procedure, void* argument);
  void JoinAll();

  EFI_MP_SERVICES_PROTOCOL protocol_{};  // first member: the protocol pointer is the object
  size_t processors_;
  size_t bsp_number_;
  EFI_HANDLE handle_ = nullptr;
  std::vector<std::thread> threads_;
  std::vector<std::atomic<int>> runs_per_processor_;
  std::atomic<int> procedure_runs_{0};
  EFI_EVENT wait_event_ = nullptr;
  EFI_EVENT check_timer_ = nullptr;
  EFI_STATUS fail_next_ = EFI_SUCCESS;
  int startups_ = 0;
};
