#include "config/boot_options_state.h"
#include "config/kernel_flags.h"
#include "lib/string.h"

EFI_STATUS BootOptionLookup(const char* key, const char** value, UINTN* length) {
  if (KernelFlagsLookup(gBootOptions.commandLine, key, value, length) == EFI_SUCCESS) return EFI_SUCCESS;
  const char* text = nullptr;
  if (EFI_ERROR(BootConfigString(key, &text))) return EFI_NOT_FOUND;
  *value = text;
  *length = AsciiStrLen(text);
  return EFI_SUCCESS;
}

EFI_STATUS BootConfigInteger(const char* key, INT64* value) {
  const PlistNode* node = PlistDictLookup(gBootOptions.config, key);
  if (!node || node->type != kPlistInteger) return EFI_NOT_FOUND;
  *value = node->integer;
  return EFI_SUCCESS;
}

EFI_STATUS BootConfigString(const char* key, const char** value) {
  const PlistNode* node = PlistDictLookup(gBootOptions.config, key);
  if (!node || node->type != kPlistString || !node->string) return EFI_NOT_FOUND;
  *value = node->string;
  return EFI_SUCCESS;
}

EFI_STATUS BootConfigMemberXml(const char* key, char** xml) {
  const PlistNode* node = PlistDictLookup(gBootOptions.config, key);
  if (!node) return EFI_NOT_FOUND;
  // The writer follows the next chain; the member alone is wanted, so write a detached copy
  // of the node that shares its children.
  PlistNode alone = *node;
  alone.next = nullptr;
  return PlistWriteXml(&alone, xml);
}
