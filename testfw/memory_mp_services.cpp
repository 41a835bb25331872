#include "testfw/memory_mp_services.h"

#include "testfw/test_firmware.h"

namespace {

// The processor number of the calling thread; -1 on the boot processor.
thread_local long tCurrentProcessor = -1;

constexpr UINT64 kCheckPeriod100ns = 10000;  // 1 ms

}  // namespace

struct MemoryMpServices::Ops {
  static MemoryMpServices* Self(EFI_MP_SERVICES_PROTOCOL* p) { return reinterpret_cast<MemoryMpServices*>(p); }

  static EFI_STATUS EFIAPI GetNumberOfProcessors(EFI_MP_SERVICES_PROTOCOL* p, UINTN* count, UINTN* enabled) {
    if (!count || !enabled) return EFI_INVALID_PARAMETER;
    if (tCurrentProcessor >= 0) return EFI_DEVICE_ERROR;  // boot processor only
    *count = *enabled = Self(p)->processors_;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI GetProcessorInfo(EFI_MP_SERVICES_PROTOCOL* p, UINTN number,
                                            EFI_PROCESSOR_INFORMATION* info) {
    if (!info) return EFI_INVALID_PARAMETER;
    if (number >= Self(p)->processors_) return EFI_NOT_FOUND;
    *info = EFI_PROCESSOR_INFORMATION{number, PROCESSOR_ENABLED_BIT | PROCESSOR_HEALTH_STATUS_BIT, {0, 0, 0}};
    if (number == Self(p)->bsp_number_) info->StatusFlag |= PROCESSOR_AS_BSP_BIT;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI StartupAllAPs(EFI_MP_SERVICES_PROTOCOL* p, EFI_AP_PROCEDURE procedure, BOOLEAN,
                                         EFI_EVENT wait_event, UINTN, VOID* argument, UINTN** failed) {
    MemoryMpServices* self = Self(p);
    if (tCurrentProcessor >= 0) return EFI_DEVICE_ERROR;
    if (!procedure) return EFI_INVALID_PARAMETER;
    if (failed) *failed = nullptr;
    if (self->processors_ < 2) return EFI_NOT_STARTED;
    if (!self->threads_.empty()) return EFI_NOT_READY;
    ++self->startups_;
    if (self->fail_next_ != EFI_SUCCESS) {
      EFI_STATUS status = self->fail_next_;
      self->fail_next_ = EFI_SUCCESS;
      return status;
    }
    self->Launch(procedure, argument);
    if (!wait_event) {
      self->JoinAll();
      return EFI_SUCCESS;
    }
    self->wait_event_ = wait_event;
    EFI_STATUS status = gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_NOTIFY, Check, self, &self->check_timer_);
    if (!EFI_ERROR(status)) status = gBS->SetTimer(self->check_timer_, TimerPeriodic, kCheckPeriod100ns);
    return status;
  }

  // The boot processor's periodic look at the application processors.
  static VOID EFIAPI Check(EFI_EVENT, VOID* context) {
    MemoryMpServices* self = static_cast<MemoryMpServices*>(context);
    self->JoinAll();
    gBS->CloseEvent(self->check_timer_);
    self->check_timer_ = nullptr;
    EFI_EVENT wait = self->wait_event_;
    self->wait_event_ = nullptr;
    gBS->SignalEvent(wait);
  }

  static EFI_STATUS EFIAPI StartupThisAP(EFI_MP_SERVICES_PROTOCOL*, EFI_AP_PROCEDURE, UINTN, EFI_EVENT, UINTN, VOID*,
                                         BOOLEAN*) {
    return EFI_UNSUPPORTED;
  }
  static EFI_STATUS EFIAPI SwitchBSP(EFI_MP_SERVICES_PROTOCOL*, UINTN, BOOLEAN) { return EFI_UNSUPPORTED; }
  static EFI_STATUS EFIAPI EnableDisableAP(EFI_MP_SERVICES_PROTOCOL*, UINTN, BOOLEAN, UINT32*) {
    return EFI_UNSUPPORTED;
  }

  static EFI_STATUS EFIAPI WhoAmI(EFI_MP_SERVICES_PROTOCOL* p, UINTN* number) {
    if (!number) return EFI_INVALID_PARAMETER;
    *number = tCurrentProcessor >= 0 ? static_cast<UINTN>(tCurrentProcessor) : Self(p)->bsp_number_;
    return EFI_SUCCESS;
  }
};

MemoryMpServices::MemoryMpServices(size_t processors, size_t bsp_number)
    : processors_(processors), bsp_number_(bsp_number), runs_per_processor_(processors) {
  protocol_.GetNumberOfProcessors = Ops::GetNumberOfProcessors;
  protocol_.GetProcessorInfo = Ops::GetProcessorInfo;
  protocol_.StartupAllAPs = Ops::StartupAllAPs;
  protocol_.StartupThisAP = Ops::StartupThisAP;
  protocol_.SwitchBSP = Ops::SwitchBSP;
  protocol_.EnableDisableAP = Ops::EnableDisableAP;
  protocol_.WhoAmI = Ops::WhoAmI;
}

MemoryMpServices::~MemoryMpServices() {
  JoinAll();
  if (handle_) TestFirmware::Current().UninstallProtocol(handle_, kEfiMpServiceProtocolGuid);
}

EFI_HANDLE MemoryMpServices::Install() {
  handle_ = TestFirmware::Current().InstallProtocol(nullptr, kEfiMpServiceProtocolGuid, &protocol_);
  return handle_;
}

void MemoryMpServices::Launch(EFI_AP_PROCEDURE procedure, void* argument) {
  for (size_t number = 0; number < processors_; ++number) {
    if (number == bsp_number_) continue;
    threads_.emplace_back([this, number, procedure, argument] {
      tCurrentProcessor = static_cast<long>(number);
      procedure(argument);
      ++runs_per_processor_[number];
      ++procedure_runs_;
    });
  }
}

void MemoryMpServices::JoinAll() {
  for (std::thread& t : threads_) t.join();
  threads_.clear();
}

size_t MemoryMpServices::ProcessorsUsed() const {
  size_t used = 0;
  for (const auto& runs : runs_per_processor_) used += runs.load() > 0;
  return used;
}
