// ProcessOptions: from the load options, the boot variables and the configuration file to
// the kernel command line and the flags it sets.
#include "config/boot_options.h"

#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "config/boot_options_booter.h"
#include "config/boot_options_command_line.h"
#include "config/boot_options_config_file.h"
#include "config/boot_options_flags.h"
#include "config/boot_options_load.h"
#include "config/boot_options_state.h"
#include "config/boot_options_variables.h"
#include "config/kernel_flags.h"
#include "diag/log.h"
#include "memory/memory.h"

namespace {

// Pool texts of one ProcessOptions run, freed on every way out.
struct OptionsScratch {
  char* options = nullptr;
  char* bootArgs = nullptr;
  CHAR16* pathBuffer = nullptr;
  ~OptionsScratch() {
    PoolFree(options);
    PoolFree(bootArgs);
    PoolFree(pathBuffer);
  }
};

bool TextHasKey(const char* text, const char* key) {
  const char* value = nullptr;
  UINTN length = 0;
  return KernelFlagsLookup(text, key, &value, &length) == EFI_SUCCESS;
}

// A pending recovery request from the running system replaces the keyboard's choices.
void ApplyRecoveryBootMode() {
  if (BootModeFlags & (kBootModeHibernate | kBootModeNetBoot)) return;
  if (!BootVariableExists(u"recovery-boot-mode", TarnBootGuid, 10)) return;
  BootModeFlags &= ~(kBootModeSafe | kBootModeSingleUser | kBootModeRecoveryRequested);
  BootModeFlags |= kBootModeRecoveryRequested;
}

EFI_STATUS ReadSources(const void* load_options, UINTN load_options_size, OptionsScratch* scratch, bool* network) {
  EFI_STATUS status = ConvertLoadOptions(load_options, load_options_size, &scratch->options);
  if (EFI_ERROR(status)) return status;
  if (TextHasKey(scratch->options, "-x")) BootModeFlags |= kBootModeSafe;
  *network = BooterOnNetwork();
  if (*network) BootModeFlags |= kBootModeNetBoot;
  ApplyRecoveryBootMode();
  gBootOptions.csrActiveConfig = ReadCsrActiveConfigVariable();
  status = ReadBootArgsVariable(&scratch->bootArgs);
  if (EFI_ERROR(status)) return status;
  // Safe mode asked for in "boot-args" is safe mode for the whole line, as from the load options.
  if (TextHasKey(scratch->bootArgs, "-x")) BootModeFlags |= kBootModeSafe;
  ReadKernelCacheDataVariable(&gBootOptions.kernelCacheData, &gBootOptions.kernelCacheDataSize);
  scratch->pathBuffer = static_cast<CHAR16*>(PoolAllocate(kBootOptionsPathChars * sizeof(CHAR16)));
  return scratch->pathBuffer ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}

void ReadConfiguration(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, bool network,
                       OptionsScratch* scratch) {
  const char* config_name = nullptr;
  UINTN config_length = 0;
  if (KernelFlagsLookup(scratch->options, "config", &config_name, &config_length) != EFI_SUCCESS) {
    config_name = nullptr;
  }
  ReadBootConfigFile(load_file, root, network, config_name, config_length, scratch->pathBuffer,
                     &gBootOptions.config);
}

}  // namespace

EFI_STATUS ProcessOptions(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const void* load_options,
                          UINTN load_options_size, const char** command_line) {
  BootOptionsRelease();
  OptionsScratch scratch;
  bool network = false;
  EFI_STATUS status = ReadSources(load_options, load_options_size, &scratch, &network);
  if (EFI_ERROR(status)) return status;
  ReadConfiguration(load_file, root, network, &scratch);
  const char* kernel_flags = nullptr;
  if (!(BootModeFlags & kBootModeSafe) && EFI_ERROR(BootConfigString("Kernel Flags", &kernel_flags))) {
    kernel_flags = nullptr;
  }
  status = BuildKernelCommandLine(scratch.options, scratch.bootArgs, kernel_flags, &gBootOptions.commandLine);
  if (EFI_ERROR(status)) return status;
  ApplyKernelCommandLine(network);
  LogMessage(kLogCategoryStage, "Kernel command line: '%s'\n", gBootOptions.commandLine);
  if (command_line) *command_line = gBootOptions.commandLine;
  return EFI_SUCCESS;
}

EFI_STATUS RebuildKernelCommandLine() {
  char* line = nullptr;
  EFI_STATUS status = BuildKernelCommandLine(gBootOptions.commandLine, nullptr, nullptr, &line);
  if (EFI_ERROR(status)) return status;
  PoolFree(gBootOptions.commandLine);
  gBootOptions.commandLine = line;
  LogMessage(kLogCategoryStage, "Kernel command line: '%s'\n", line);
  return EFI_SUCCESS;
}
