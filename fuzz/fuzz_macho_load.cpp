// The kernel file is outside data: LoadKernelFromStream over a memory file, with a slide in
// force so that the symbol, relocation and header-copy paths run too. Kernel memory comes
// from the test firmware at fixed host addresses and goes back with it after every input.
#include <cstddef>
#include <cstdint>

#include "boot/boot_mode.h"
#include "handoff/memory.h"
#include "kernel/boot_file.h"
#include "kernel/macho_format.h"
#include "kernel/macho_loader.h"
#include "kernel/macho_slide.h"
#include "kernel/macho_walker.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {

constexpr uint64_t kSegmentBytesLimit = 16ull << 20;

// The loader zero-fills every segment to its full size, up to the 1 GiB kernel window; keep
// runs about parsing by skipping inputs whose headers (wherever a slice may start) ask for
// more than a few megabytes in all.
bool ModestSegments(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + 4 <= size; ++at) {
    if (LoadLe32(data + at) != kMachOMagic64) continue;
    ByteSpan area;
    INT32 count = 0;
    if (!MachOHeaderCommands(ByteSpan(data + at, size - at), &area, &count)) continue;
    uint64_t total = 0;
    MachOCommand segment;
    for (bool more = MachOFirstSegment(area, count, &segment); more;
         more = MachONextSegment(area, count, segment, &segment)) {
      uint64_t bytes = LoadLe64(area.data() + segment.Offset + kSegmentVirtualSize);
      if (bytes > kSegmentBytesLimit || (total += bytes) > kSegmentBytesLimit) return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!ModestSegments(data, size)) return 0;
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
