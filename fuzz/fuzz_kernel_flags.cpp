// Command-line merging and lookups over three outside texts (load options, "boot-args",
// "Kernel Flags"), split from the input at the first two NUL bytes.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/boot_options_flags.h"
#include "config/kernel_flags.h"
#include "config/text_convert.h"
#include "config/uuid_text.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

std::string NextPart(const uint8_t** data, size_t* size) {
  const uint8_t* end = static_cast<const uint8_t*>(std::memchr(*data, 0, *size));
  size_t n = end ? static_cast<size_t>(end - *data) : *size;
  std::string part(reinterpret_cast<const char*>(*data), n);
  *data += end ? n + 1 : n;
  *size -= end ? n + 1 : n;
  return part;
}

void CheckLookups(const char* line) {
  static const char* const kKeys[] = {"-v", "-x", "slide", "debug", "kcsuffix", "cpu_subtype", "rp", ""};
  for (const char* key : kKeys) {
    const char* value = nullptr;
    UINTN length = 0;
    if (KernelFlagsLookup(line, key, &value, &length) != EFI_SUCCESS) continue;
    Require(value >= line && value + length <= line + std::strlen(line));
    UINT32 number = 0;
    ParseOptionNumber(value, length, &number);
    UINT8 uuid[16];
    (void)UuidTextToBytes(value, length, uuid);
    std::vector<CHAR16> wide(length + 1);
    UINTN n = Utf8ToUcs2(value, length, wide.data(), wide.size());
    std::vector<char> narrow(Utf8SizeForUcs2(n));
    Ucs2ToUtf8(wide.data(), n, narrow.data(), narrow.size());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const uint8_t* p = data;
  size_t left = size;
  std::string options = NextPart(&p, &left);
  std::string boot_args = NextPart(&p, &left);
  std::string kernel_flags = NextPart(&p, &left);

  const size_t capacity = options.size() + boot_args.size() + kernel_flags.size() + 64;
  std::vector<char> line(capacity, 0);
  Require(KernelFlagsAppend(line.data(), capacity, options.c_str(), options.size()) == EFI_SUCCESS);
  KernelFlagsMergeAbsent(line.data(), capacity, boot_args.c_str());
  KernelFlagsMergeAbsent(line.data(), capacity, kernel_flags.c_str());
  for (const char* token : {"-x", "-s", "-v", "srv=1"}) KernelFlagsAddIfAbsent(line.data(), capacity, token);
  Require(std::strlen(line.data()) < capacity);

  // Every key of the later sources made it in: the buffer always has room for them.
  KernelFlagToken token;
  for (const std::string* source : {&boot_args, &kernel_flags}) {
    for (const char* cursor = source->c_str(); KernelFlagsNextToken(&cursor, &token);) {
      Require(KernelFlagsKeyPresent(line.data(), token.start, token.keyLength));
    }
  }
  CheckLookups(line.data());

  KernelFlagsSafeModeFilter(line.data());
  for (const char* cursor = line.data(); KernelFlagsNextToken(&cursor, &token);) {
    bool allowed = false;
    for (const char* prefix : {"kext-dev-mode", "rootless", "-x", "-v"}) {
      allowed |= token.keyLength >= std::strlen(prefix) && std::memcmp(token.start, prefix, std::strlen(prefix)) == 0;
    }
    Require(allowed);
  }
  CheckLookups(line.data());
  return 0;
}
