#include "config/boot_options_command_line.h"

#include "flags/boot_mode.h"
#include "config/kernel_flags.h"
#include "output/console.h"
#include "memory/memory.h"
#include "lib/string.h"

namespace {

constexpr UINTN kCommandLineSlack = 64;

UINTN TextLength(const char* text) { return text ? AsciiStrLen(text) : 0; }

bool CapacityFor(const char* a, const char* b, const char* c, UINTN* capacity) {
  const UINTN lengths[] = {TextLength(a), TextLength(b), TextLength(c)};
  UINTN total = kCommandLineSlack;
  for (UINTN n : lengths) {
    if (n > static_cast<UINTN>(-1) - total) return false;
    total += n;
  }
  *capacity = total;
  return true;
}

void AddModeTokens(char* line, UINTN capacity) {
  if (BootModeFlags & kBootModeSafe) {
    ConsolePrint("Using Safe Mode\n");
    KernelFlagsAddIfAbsent(line, capacity, "-x");
  }
  if (BootModeFlags & kBootModeSingleUser) KernelFlagsAddIfAbsent(line, capacity, "-s");
  if (BootModeFlags & kBootModeVerbose) KernelFlagsAddIfAbsent(line, capacity, "-v");
  if (BootModeFlags & kBootModeKeyX) KernelFlagsAddIfAbsent(line, capacity, "srv=1");
}

}  // namespace

EFI_STATUS BuildKernelCommandLine(const char* options, const char* boot_args, const char* kernel_flags, char** line) {
  UINTN capacity = 0;
  if (!CapacityFor(options, boot_args, kernel_flags, &capacity)) return EFI_OUT_OF_RESOURCES;
  char* text = static_cast<char*>(PoolAllocateZero(capacity));
  if (!text) return EFI_OUT_OF_RESOURCES;
  if (options) (void)KernelFlagsAppend(text, capacity, options, AsciiStrLen(options));  // cut at capacity
  KernelFlagsMergeAbsent(text, capacity, boot_args);
  KernelFlagsMergeAbsent(text, capacity, kernel_flags);
  AddModeTokens(text, capacity);
  if (BootModeFlags & kBootModeSafe) KernelFlagsSafeModeFilter(text);
  *line = text;
  return EFI_SUCCESS;
}
