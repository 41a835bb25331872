// How the booter and the kernel boot: the load options, the boot variables and the boot
// configuration file merged into the kernel command line, the boot-mode flags that follow
// from it, and the settings later stages read (kernel-cache and RAM-disk paths, suffix,
// slide, processor subtype, platform-check and panic-report switches).
#pragma once

#include "config/plist.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"

// The boot configuration file's name.
#define BOOT_CONFIG_FILE_NAME u"com.tarn.Boot.plist"

// Reads the load options (UCS-2, load_options_size bytes, as the loaded image holds them),
// the "recovery-boot-mode", "csr-active-config", "boot-args" and "efi-boot-kernelcache-data"
// variables and the boot configuration file (through load_file on a network boot, else from
// root), builds the kernel command line and sets the boot-mode flags and settings it implies.
// *command_line (optional) receives the line, which stays valid until the next
// ProcessOptions or RebuildKernelCommandLine.
// EFI_OUT_OF_RESOURCES when memory for the converted options, the "boot-args" text, the path
// buffer or the line itself runs out; the command line then stays unset (empty).
[[nodiscard]] EFI_STATUS ProcessOptions(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root,
                                        const void* load_options, UINTN load_options_size, const char** command_line);

// The kernel command line; "" until ProcessOptions has built one.
const char* KernelCommandLine();

// After the boot-mode flags changed late (keys sampled again once the panic notice was
// seen): adds to the command line the tokens the flags ask for ("-x", "-s", "-v", "srv=1")
// where absent and, in safe mode, filters it as ProcessOptions does. The rebuilt line
// replaces the old one; EFI_OUT_OF_RESOURCES keeps the old one.
[[nodiscard]] EFI_STATUS RebuildKernelCommandLine();

// The boot configuration dictionary, or null when no file was read.
const PlistNode* BootConfigDictionary();

// Option lookup: the value in the kernel command line, failing that a string member of the
// boot configuration dictionary (its whole text). EFI_NOT_FOUND when neither has key.
[[nodiscard]] EFI_STATUS BootOptionLookup(const char* key, const char** value, UINTN* length);

// An integer member of the boot configuration dictionary; EFI_NOT_FOUND for anything else.
[[nodiscard]] EFI_STATUS BootConfigInteger(const char* key, INT64* value);

// A string member of the boot configuration dictionary; EFI_NOT_FOUND for anything else.
[[nodiscard]] EFI_STATUS BootConfigString(const char* key, const char** value);

// The member as compact XML in a new pool text the caller frees; EFI_NOT_FOUND when absent.
[[nodiscard]] EFI_STATUS BootConfigMemberXml(const char* key, char** xml);

// Settings for the kernel-cache and RAM-disk loaders; null when not given.
const CHAR16* KernelCachePathOverride();     // "/" already turned into "\"
const CHAR16* KernelCacheSuffix();
const CHAR16* RamDiskPath();
EFI_DEVICE_PATH_PROTOCOL* RamDiskDevicePath();  // network boot only

// The raw "efi-boot-kernelcache-data" variable; size 0 and null when it was absent.
void KernelCacheLocationData(const UINT8** data, UINTN* size);

// "csr-active-config" as read (0 when absent).
UINT32 CsrActiveConfig();

// The platform check runs unless "-no_compat_check" or Command-C with minus switched it off.
bool PlatformCheckEnabled();
void DisablePlatformCheck();

// The panic report runs unless "-no_panic_dialog" switched it off.
bool PanicReportEnabled();
