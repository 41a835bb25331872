#include "tools/lib/host_services.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <map>

#include "efi/efi.h"
#include "efi/protocols/simple_text_output.h"
#include "lib/host_reset.h"
#include "memory/memory.h"

namespace {

std::map<EFI_PHYSICAL_ADDRESS, UINTN>* gPages = nullptr;

EFI_STATUS EFIAPI AllocatePool(EFI_MEMORY_TYPE, UINTN size, VOID** buffer) {
  if (!buffer) return EFI_INVALID_PARAMETER;
  *buffer = std::malloc(size ? size : 1);
  return *buffer ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}

EFI_STATUS EFIAPI FreePool(VOID* buffer) {
  std::free(buffer);
  return EFI_SUCCESS;
}

void* MapAt(EFI_PHYSICAL_ADDRESS address, size_t length) {
  void* p = mmap(reinterpret_cast<void*>(address), length, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (p != MAP_FAILED && p != reinterpret_cast<void*>(address)) {
    munmap(p, length);  // old kernels take the flag as a hint
    return MAP_FAILED;
  }
  return p;
}

EFI_STATUS EFIAPI AllocatePages(EFI_ALLOCATE_TYPE type, EFI_MEMORY_TYPE, UINTN pages, EFI_PHYSICAL_ADDRESS* memory) {
  if (!memory || pages == 0) return EFI_INVALID_PARAMETER;
  size_t length = pages * EFI_PAGE_SIZE;
  void* p = MAP_FAILED;
  if (type == AllocateAddress) {
    if (*memory & (EFI_PAGE_SIZE - 1)) return EFI_NOT_FOUND;
    p = MapAt(*memory, length);
  } else if (type == AllocateAnyPages) {
    p = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  } else {
    return EFI_UNSUPPORTED;
  }
  if (p == MAP_FAILED) return EFI_NOT_FOUND;
  *memory = reinterpret_cast<EFI_PHYSICAL_ADDRESS>(p);
  (*gPages)[*memory] = pages;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FreePages(EFI_PHYSICAL_ADDRESS memory, UINTN pages) {
  auto it = gPages->find(memory);
  if (it == gPages->end() || it->second != pages) return EFI_NOT_FOUND;
  munmap(reinterpret_cast<void*>(memory), pages * EFI_PAGE_SIZE);
  gPages->erase(it);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI OutputString(EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL*, const CHAR16* text) {
  for (; *text; ++text) {
    if (*text != u'\r') std::fputc(*text < 0x80 ? static_cast<int>(*text) : '?', stderr);
  }
  return EFI_SUCCESS;
}

EFI_BOOT_SERVICES gServices;
EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL gConsole;
EFI_SYSTEM_TABLE gTable;

}  // namespace

HostServices::HostServices() {
  RunHostResetHooks();
  gPages = new std::map<EFI_PHYSICAL_ADDRESS, UINTN>();
  gServices = EFI_BOOT_SERVICES{};
  gServices.AllocatePool = AllocatePool;
  gServices.FreePool = FreePool;
  gServices.AllocatePages = AllocatePages;
  gServices.FreePages = FreePages;
  gConsole = EFI_SIMPLE_TEXT_OUTPUT_PROTOCOL{};
  gConsole.OutputString = OutputString;
  gTable = EFI_SYSTEM_TABLE{};
  gTable.BootServices = &gServices;
  gTable.ConOut = &gConsole;
  gTable.StdErr = &gConsole;
  gST = &gTable;
  gBS = &gServices;
  gRT = nullptr;
}

HostServices::~HostServices() {
  ReleaseAllAllocations();
  for (const auto& [address, pages] : *gPages) munmap(reinterpret_cast<void*>(address), pages * EFI_PAGE_SIZE);
  delete gPages;
  gPages = nullptr;
  gST = nullptr;
  gBS = nullptr;
}
