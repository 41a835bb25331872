#include "hibernate/check_hibernate.h"

#include "efi/efi.h"
#include "efi/protocols/cpu_arch.h"
#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "hibernate/boot_image.h"
#include "hibernate/clock.h"
#include "hibernate/hibernate_vars.h"
#include "hibernate/restore.h"
#include "hw/hw.h"
#include "lib/mem.h"
#include "machine/smc.h"

namespace {

constexpr UINT64 kDefaultGraphicsDelayMs = 3500;

[[noreturn]] void ColdReset() {
  gRT->ResetSystem(EfiResetCold, EFI_SUCCESS, 0, nullptr);
  HwHalt();
}

UINT64 GraphicsDelayMs() {
  char text[16];
  UINTN size = sizeof(text) - 1;
  EFI_STATUS status = gRT->GetVariable(u"boot-gfx-delay", &TarnBootGuid, nullptr, &size, text);
  if (status == EFI_NOT_FOUND) return kDefaultGraphicsDelayMs;
  if (EFI_ERROR(status)) return 0;
  UINT64 value = 0;
  for (UINTN i = 0; i < size && text[i] >= '0' && text[i] <= '9' && value < 1000000; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

// The delay in time-stamp counter ticks, through the processor timer's period.
UINT64 DelayTicks(UINT64 milliseconds) {
  EFI_CPU_ARCH_PROTOCOL* cpu = nullptr;
  if (!milliseconds || EFI_ERROR(gBS->LocateProtocol(&kEfiCpuArchProtocolGuid, nullptr, reinterpret_cast<void**>(&cpu))) ||
      !cpu || !cpu->GetTimerValue) {
    return 0;
  }
  UINT64 value = 0, period = 0;
  if (EFI_ERROR(cpu->GetTimerValue(cpu, 0, &value, &period)) || !period) return 0;
  return milliseconds * 1000000000000ull / period;
}

bool VariableExists(const CHAR16* name) {
  UINTN size = 0;
  return gRT->GetVariable(name, &TarnBootGuid, nullptr, &size, nullptr) == EFI_BUFFER_TOO_SMALL;
}

struct Opened {
  BootImage image;
  BootImageLocation location;
  TarnBlockReadProtocol* block_read;
};

EFI_STATUS OpenAndLocate(Opened* opened) {
  MemZero(opened, sizeof(*opened));
  EFI_STATUS status = OpenBootImage(&opened->image);
  if (EFI_ERROR(status)) return status;
  EFI_DEVICE_PATH_PROTOCOL* walk = opened->image.device_path;
  EFI_HANDLE handle = nullptr;
  if (!EFI_ERROR(gBS->LocateDevicePath(&kTarnBlockReadProtocolGuid, &walk, &handle))) {
    gBS->HandleProtocol(handle, &kTarnBlockReadProtocolGuid, reinterpret_cast<void**>(&opened->block_read));
  }
  status = ParseBootImageText(opened->image.file_text, opened->image.file_text_length, &opened->location);
  if (EFI_ERROR(status)) BootImageClose(&opened->image);
  return status;
}

RestoreRequest RequestFor(const Opened& opened, UINT8* key, UINTN key_length) {
  RestoreRequest q{};
  q.image = &opened.image;
  q.block_read = opened.block_read;
  q.header_offset = opened.location.header_offset;
  q.key = key;
  q.key_length = key_length;
  q.encrypted_volume = opened.location.has_volume_uuid;
  q.now = ClockSecondsSince1970();
  q.check_tsc = HwReadTsc();
  return q;
}

}  // namespace

bool CheckHibernate(UINT8 volume_uuid[16]) {
  if (BootModeFlags & kBootModeSafe) return false;
  HibernateVars vars{};
  if (EFI_ERROR(TakeHibernateVars(&vars))) return false;
  RememberHibernateVars(vars);
  SecureZero(&vars, sizeof(vars));
  Opened opened;
  if (EFI_ERROR(OpenAndLocate(&opened))) ColdReset();
  if (opened.location.has_volume_uuid) MemCopy(volume_uuid, opened.location.volume_uuid, 16);
  RestoreRequest q = RequestFor(opened, nullptr, PendingImageKeyLength());

  TarnSmcIoProtocol* smc = nullptr;
  bool have_smc = !EFI_ERROR(SmcLocate(&smc));
  if (have_smc && VariableExists(u"boot-smc-read")) {
    UINT8 clock[2];
    if (!EFI_ERROR(SmcRead(smc, kSmcKeyWakeClock, 2, clock))) q.wake_clock = (UINT32(clock[0]) << 8 | clock[1]) * 10;
  }
  q.delay_ticks = DelayTicks(GraphicsDelayMs());

  UINT8 key[kImageKeySize];
  MemCopy(key, PendingImageKey(), sizeof(key));
  q.key = key;
  if (opened.location.has_volume_uuid) {
    UINT8 half[kSmcBootKeySize];
    bool complete = false;
    if (have_smc && !EFI_ERROR(SmcRead(smc, kSmcKeyBootKey, sizeof(half), half))) {
      for (UINTN i = 0; i < sizeof(key); ++i) {
        key[i] ^= half[i];
        complete |= half[i] != 0;
      }
      UINT8 zero[kSmcBootKeySize] = {};
      (void)SmcWrite(smc, kSmcKeyBootKey, sizeof(zero), zero);  // nothing more to do when it fails
      SecureZero(half, sizeof(half));
    }
    if (!complete) {
      SecureZero(key, sizeof(key));
      BootImageClose(&opened.image);
      return true;  // the login window unlocks the volume; FinishFDEHibernate resumes
    }
  }
  RestoreHibernateImage(q);
  SecureZero(key, sizeof(key));
  ColdReset();
}

void FinishFDEHibernate(const UINT8* volume_key, UINTN key_length) {
  if (key_length == PendingImageKeyLength() && key_length == kImageKeySize) {
    Opened opened;
    if (!EFI_ERROR(OpenAndLocate(&opened))) {
      UINT8 key[kImageKeySize];
      for (UINTN i = 0; i < kImageKeySize; ++i) key[i] = static_cast<UINT8>(volume_key[i] ^ PendingImageKey()[i]);
      RestoreRequest q = RequestFor(opened, key, sizeof(key));
      q.encrypted_volume = true;
      RestoreHibernateImage(q);
      SecureZero(key, sizeof(key));
    }
  }
  ColdReset();
}
