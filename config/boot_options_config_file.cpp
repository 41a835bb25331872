#include "config/boot_options_config_file.h"

#include "config/boot_options.h"
#include "config/boot_options_booter.h"
#include "config/text_convert.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

constexpr const CHAR16* kSystemConfigurationDirectory = u"Library\\Preferences\\SystemConfiguration\\";
constexpr const CHAR16* kStandardConfigPath = u"Library\\Preferences\\SystemConfiguration\\" BOOT_CONFIG_FILE_NAME;

// The "config" name as a path: the directory in front on a volume when the name is relative,
// ".plist" behind. False when it does not fit.
bool NamedConfigPath(const char* name, UINTN length, bool network, CHAR16* buffer) {
  static constexpr CHAR16 kSuffix[] = u".plist";
  constexpr UINTN kSuffixLength = sizeof(kSuffix) / sizeof(CHAR16) - 1;
  bool relative = length == 0 || (name[0] != '/' && name[0] != '\\');
  const CHAR16* prefix = (!network && relative) ? kSystemConfigurationDirectory : u"";
  UINTN used = StrLen16(prefix);
  // A UTF-8 name never yields more characters than it has bytes.
  if (length > kBootOptionsPathChars - 1 - kSuffixLength - used) return false;
  MemCopy(buffer, prefix, used * sizeof(CHAR16));
  used += Utf8ToUcs2(name, length, buffer + used, kBootOptionsPathChars - used);
  MemCopy(buffer + used, kSuffix, sizeof(kSuffix));
  return true;
}

}  // namespace

EFI_STATUS ReadPlistFile(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path,
                         PlistNode** dict) {
  UINT64 size = 0;
  void* text = nullptr;
  EFI_STATUS status = LoadWholeFile(load_file, root, path, nullptr, &size, &text);
  if (EFI_ERROR(status)) return status;
  if (!text) return EFI_NOT_FOUND;
  // Texts are interned and data decoded into their own buffers, so the file can go.
  status = PlistParseDictionary(static_cast<char*>(text), static_cast<UINTN>(size), dict);
  PoolFree(text);
  return status;
}

void ReadBootConfigFile(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, bool network,
                        const char* config_name, UINTN config_length, CHAR16* path_buffer, PlistNode** dict) {
  *dict = nullptr;
  EFI_LOAD_FILE_PROTOCOL* source = network ? load_file : nullptr;
  if (!EFI_ERROR(BooterSiblingPath(BOOT_CONFIG_FILE_NAME, path_buffer, kBootOptionsPathChars)) &&
      !EFI_ERROR(ReadPlistFile(source, root, path_buffer, dict))) {
    return;
  }
  if (!config_name) {
    const CHAR16* path = (network && load_file) ? BOOT_CONFIG_FILE_NAME : kStandardConfigPath;
    (void)ReadPlistFile(source, root, path, dict);  // none: *dict stays null
    return;
  }
  if (NamedConfigPath(config_name, config_length, network, path_buffer)) {
    (void)ReadPlistFile(source, root, path_buffer, dict);
  }
}
