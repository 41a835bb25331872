#include "config/boot_options_flags.h"

#include "flags/boot_mode.h"
#include "machine/processor.h"
#include "config/boot_options_booter.h"
#include "config/boot_options_state.h"
#include "config/kernel_flags.h"
#include "config/slide.h"
#include "config/text_convert.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

bool CommandLineHas(const char* key) {
  const char* value = nullptr;
  UINTN length = 0;
  return KernelFlagsLookup(gBootOptions.commandLine, key, &value, &length) == EFI_SUCCESS;
}

bool ValueEquals(const char* value, UINTN length, const char* text) {
  return AsciiStrLen(text) == length && MemCompare(value, text, length) == 0;
}

void StorePaths(bool network) {
  const char* value = nullptr;
  UINTN length = 0;
  if (BootOptionLookup("Kernel Cache", &value, &length) == EFI_SUCCESS &&
      Utf8ToUcs2Allocate(value, length, &gBootOptions.kernelCachePath) == EFI_SUCCESS) {
    for (CHAR16* c = gBootOptions.kernelCachePath; *c; ++c) {
      if (*c == u'/') *c = u'\\';
    }
  }
  if (BootOptionLookup("RAM Disk", &value, &length) != EFI_SUCCESS) return;
  if (Utf8ToUcs2Allocate(value, length, &gBootOptions.ramDiskPath) != EFI_SUCCESS) return;
  if (network && StrLen16(gBootOptions.ramDiskPath) < kBootOptionsPathChars) {
    gBootOptions.ramDiskDevicePath = BooterSiblingDevicePath(gBootOptions.ramDiskPath);
  }
}

void ApplySimpleFlags() {
  if (CommandLineHas("-v")) BootModeFlags |= kBootModeVerbose;
  if (CommandLineHas("-x")) BootModeFlags |= kBootModeSafe;
  if (CommandLineHas("-s")) BootModeFlags |= kBootModeSingleUser;
  if (CommandLineHas("-no_compat_check")) gBootOptions.platformCheck = false;
  if (CommandLineHas("-no_panic_dialog")) gBootOptions.panicReport = false;
  if (CommandLineHas("debug")) BootModeFlags |= kBootModeDebug;
}

void ApplySlide() {
  if ((BootModeFlags & kBootModeSafe) && (BootModeFlags & kBootModeSlide)) {
    BootModeFlags &= ~kBootModeSlide;
    KernelSlideDisabled = 1;
    return;
  }
  const char* value = nullptr;
  UINTN length = 0;
  if (KernelSlideDisabled || (gBootOptions.csrActiveConfig & 0x40) == 0) return;
  if (KernelFlagsLookup(gBootOptions.commandLine, "slide", &value, &length) != EFI_SUCCESS) return;
  UINT32 number = 0;
  if (length == 0) {
    RandomSlide();
    BootModeFlags |= kBootModeSlide;
  } else if (!ParseOptionNumber(value, length, &number)) {
    return;
  } else if (number == 0) {
    BootModeFlags &= ~kBootModeSlide;
  } else if (number <= 255) {
    KernelSlide = SlideValue(static_cast<UINT8>(number));
    BootModeFlags |= kBootModeSlide;
  }
}

void ApplyCpuSubtype() {
  const char* value = nullptr;
  UINTN length = 0;
  if (KernelFlagsLookup(gBootOptions.commandLine, "cpu_subtype", &value, &length) != EFI_SUCCESS) return;
  if (ValueEquals(value, length, "x86_64")) (void)SetCpuSubtype(kCpuSubtypeX86_64All);
  if (ValueEquals(value, length, "x86_64h")) (void)SetCpuSubtype(kCpuSubtypeX86_64Haswell);  // refused without the features
}

void ApplyKernelCacheSuffix() {
  const char* value = nullptr;
  UINTN length = 0;
  if (KernelFlagsLookup(gBootOptions.commandLine, "kcsuffix", &value, &length) != EFI_SUCCESS) return;
  if (length == 0 || ValueEquals(value, length, "release")) BootModeFlags |= kBootModeReleaseKernelCache;
  if (length) (void)Utf8ToUcs2Allocate(value, length, &gBootOptions.kernelCacheSuffix);  // no memory: no suffix
}

}  // namespace

bool ParseOptionNumber(const char* value, UINTN length, UINT32* number) {
  UINTN i = 0;
  UINT32 base = 10;
  if (length > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
    base = 16;
    i = 2;
  }
  if (i == length) return false;
  UINT64 result = 0;
  for (; i < length; ++i) {
    char c = AsciiToLower(value[i]);
    UINT32 digit = (c >= '0' && c <= '9') ? static_cast<UINT32>(c - '0')
                   : (base == 16 && c >= 'a' && c <= 'f') ? static_cast<UINT32>(c - 'a' + 10) : base;
    if (digit >= base) return false;
    result = result * base + digit;
    if (result > 0xFFFFFFFFu) return false;
  }
  *number = static_cast<UINT32>(result);
  return true;
}

void ApplyKernelCommandLine(bool network) {
  StorePaths(network);
  ApplySimpleFlags();
  ApplySlide();
  ApplyCpuSubtype();
  if (BootModeFlags & (kBootModeSafe | kBootModeNetBoot | kBootModeRecovery)) {
    BootModeFlags |= kBootModeReleaseKernelCache;
  }
  ApplyKernelCacheSuffix();
  if (BootModeFlags & kBootModeSingleUser) BootModeFlags |= kBootModeVerbose;
}
