// The kernel cache file is outside data: LoadPrelinkedKernel over a memory file (container
// header, both decompressors with the header's sizes, the checksum, universal slices, then
// the Mach-O loader on the result). The first input byte picks the slide and the processor
// subtype. Kernel memory comes from a fresh test firmware for every input.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "flags/boot_mode.h"
#include "fuzz/fuzz_support.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "kernel/kernel_cache_container.h"
#include "config/kernel_slide.h"
#include "kernel/prelinked_kernel.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"
#include "tools/lib/kernel_cache_container.h"

namespace {

constexpr uint64_t kBytesLimit = 16ull << 20;

// Every place a container header may start (offset 0 or a slice offset) asks for at most
// 16 MiB of uncompressed output.
bool ModestContainers(const uint8_t* data, size_t size) {
  for (size_t at = 0; at + kKernelCacheHeaderSize <= size; ++at) {
    if (KernelCacheHasSignature(ByteSpan(data + at, size - at)) &&
        LoadBe32(data + at + kKernelCacheUncompressedSizeOffset) > kBytesLimit) {
      return false;
    }
  }
  return true;
}

// The kernels the loader could reach: the file itself and whatever its containers hold. The
// loader zero-fills every segment to its full size: skip kernels that ask for more than 16 MiB
// of segments in all, wherever a header may start.
bool ModestKernels(const std::vector<uint8_t>& file) {
  if (!fuzz_support::ModestMachOSegments(file.data(), file.size(), kBytesLimit)) return false;
  for (const auto& slice : kernel_cache::InspectFile(file).slices) {
    if (!fuzz_support::ModestMachOSegments(slice.kernel.data(), slice.kernel.size(), kBytesLimit)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint8_t options = data[0];
  std::vector<uint8_t> file(data + 1, data + size);
  if (!ModestContainers(file.data(), file.size()) || !ModestKernels(file)) return 0;
  TestFirmware fw;
  if (options & 1) {
    BootModeFlags |= kBootModeSlide;
    KernelSlide = 0x200000;
  }
  CpuSubtype = (options & 2) ? 8 : 3;
  KernelImageInfo info{};
  fw.Run([&] {
    BootFile boot_file;
    BootFileFromMemory(file.data(), file.size(), &boot_file);
    EFI_STATUS status = LoadPrelinkedKernel(&boot_file, &info);
    if (!EFI_ERROR(status) && (info.EntryPoint < info.LowestAddress || info.EntryPoint >= info.HighestEnd)) {
      __builtin_trap();  // a successful load always has its entry inside the image
    }
    return status;
  });
  // Only kernel pages stay: both container buffers are gone whatever the outcome.
  if (TrackedAllocationCount() != fw.LivePageRuns()) __builtin_trap();
  return 0;
}
