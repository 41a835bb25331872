// The kernel file is outside data: LoadKernelFromStream over a memory file, with a slide in
// force so that the symbol, relocation and header-copy paths run too. Kernel memory comes
// from the test firmware at fixed host addresses and goes back with it after every input.
#include <cstddef>
#include <cstdint>

#include "flags/boot_mode.h"
#include "fuzz/fuzz_support.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "kernel/macho_loader.h"
#include "config/kernel_slide.h"
#include "testfw/test_firmware.h"

// Keep runs about parsing: skip inputs whose headers ask for more than a few megabytes of
// segments in all.
constexpr uint64_t kSegmentBytesLimit = 16ull << 20;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzz_support::ModestMachOSegments(data, size, kSegmentBytesLimit)) return 0;
  TestFirmware fw;
  BootModeFlags |= kBootModeSlide;
  KernelSlide = 0x200000;
  KernelImageInfo info{};
  fw.Run([&] {
    BootFile file;
    BootFileFromMemory(data, size, &file);
    EFI_STATUS status = LoadKernelFromStream(&file, &info);
    if (!EFI_ERROR(status) && (info.EntryPoint < info.LowestAddress || info.EntryPoint >= info.HighestEnd)) {
      __builtin_trap();  // a successful load always has its entry inside the image
    }
    return status;
  });
  if (TrackedAllocationCount() != fw.LivePageRuns()) __builtin_trap();  // only kernel pages stay
  return 0;
}
