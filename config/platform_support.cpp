#include "config/platform_support.h"

#include "machine/board_identity.h"
#include "machine/processor.h"
#include "config/boot_options_booter.h"
#include "config/plist.h"
#include "files/boot_file.h"
#include "memory/memory.h"
#include "lib/string.h"

namespace {

#define PLATFORM_LIST_NAME u"PlatformSupport.plist"
constexpr const CHAR16* kSystemPlatformList = u"System\\Library\\CoreServices\\" PLATFORM_LIST_NAME;

EFI_STATUS ReadText(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, const CHAR16* path, void** text,
                    UINT64* size) {
  *text = nullptr;
  *size = 0;
  return LoadWholeFile(load_file, root, path, nullptr, size, text);
}

// Reads the list beside the booter (by the bare name when that path cannot be built), else
// the system one. EFI_NOT_FOUND when neither can be read.
EFI_STATUS ReadPlatformList(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root, void** text, UINT64* size) {
  CHAR16* path = static_cast<CHAR16*>(PoolAllocate(kBootOptionsPathChars * sizeof(CHAR16)));
  const CHAR16* beside = PLATFORM_LIST_NAME;
  if (path && !EFI_ERROR(BooterSiblingPath(PLATFORM_LIST_NAME, path, kBootOptionsPathChars))) beside = path;
  EFI_STATUS status = ReadText(load_file, root, beside, text, size);
  PoolFree(path);
  if (!EFI_ERROR(status)) return status;
  return ReadText(load_file, root, kSystemPlatformList, text, size);
}

EFI_STATUS CheckBoardList(const PlistNode* list, const char* platform) {
  const PlistNode* ids = PlistDictLookup(list, "SupportedBoardIds");
  if (!ids || ids->type != kPlistArray) return EFI_NOT_FOUND;
  UINTN count = PlistArrayCount(ids);
  if (count == 0) return EFI_UNSUPPORTED;
  for (UINTN i = 0; i < count; ++i) {
    const PlistNode* id = PlistArrayItem(ids, i);
    if (id && id->type == kPlistString && id->string && AsciiStrCmp(id->string, platform) == 0) return EFI_SUCCESS;
  }
  return EFI_UNSUPPORTED;
}

}  // namespace

EFI_STATUS PlatformCheck(const char* platform, EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root) {
  if (AsciiStrCmp(platform, "VMM") == 0) return EFI_SUCCESS;
  void* text = nullptr;
  UINT64 size = 0;
  EFI_STATUS status = ReadPlatformList(load_file, root, &text, &size);
  if (EFI_ERROR(status)) return EFI_SUCCESS;  // no list: nothing to hold against this machine
  PlistNode* list = nullptr;
  status = text ? PlistParseDictionary(static_cast<char*>(text), static_cast<UINTN>(size), &list) : EFI_NOT_FOUND;
  PoolFree(text);
  if (EFI_ERROR(status)) return EFI_NOT_FOUND;
  status = CheckBoardList(list, platform);
  PlistFree(list);
  return status;
}

const char* PlatformCheckString() { return ProcessorIsVirtualMachine() ? "VMM" : BoardId(); }
