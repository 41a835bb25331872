// The whole kernel cache load (read from memory, LZVN decompression, Adler-32, Mach-O load
// into the kernel region) against LZ4 decompression of the same kernel into a warm buffer.
// The kernel is 24 MiB of x86-64 machine code (the host's shared libraries) wrapped as a
// Mach-O kernel. The load runs on the test firmware, with its page and pool services
// replaced by memory that is already backed, as firmware memory is: the test firmware maps
// fresh host pages for every allocation and fills pool blocks, and on this host a first
// touch of fresh pages costs several times the load itself.
#include <benchmark/benchmark.h>
#include <lz4.h>
#include <malloc.h>
#include <sys/mman.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_corpus.h"
#include "bench/ratio.h"
#include "memory/memory.h"
#include "files/boot_file.h"
#include "kernel/prelinked_kernel.h"
#include "testfw/test_firmware.h"
#include "tools/lib/kernel_cache_container.h"
#include "tools/lib/macho_writer.h"

namespace {

constexpr size_t kCodeSize = 24u << 20;
using Bytes = std::vector<uint8_t>;

// Backed memory for the kernel region's fixed addresses, made once and touched once.
constexpr uint64_t kRegionStart = 0x2000000;  // the kernel's physical load address
constexpr uint64_t kRegionSize = 64u << 20;
bool gRegionReady = false;

bool MapRegion() {
  if (gRegionReady) return true;
  void* p = mmap(reinterpret_cast<void*>(kRegionStart), kRegionSize, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
  if (p != reinterpret_cast<void*>(kRegionStart)) return false;
  std::memset(p, 0, kRegionSize);
  gRegionReady = true;
  return true;
}

EFI_STATUS EFIAPI BackedPages(EFI_ALLOCATE_TYPE type, EFI_MEMORY_TYPE, UINTN pages, EFI_PHYSICAL_ADDRESS* memory) {
  if (type != AllocateAddress || *memory < kRegionStart ||
      *memory + pages * EFI_PAGE_SIZE > kRegionStart + kRegionSize) {
    return EFI_NOT_FOUND;
  }
  return EFI_SUCCESS;
}
EFI_STATUS EFIAPI FreeBackedPages(EFI_PHYSICAL_ADDRESS, UINTN) { return EFI_SUCCESS; }
EFI_STATUS EFIAPI HeapPool(EFI_MEMORY_TYPE, UINTN size, VOID** buffer) {
  *buffer = std::malloc(size ? size : 1);
  return *buffer ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
}
EFI_STATUS EFIAPI FreeHeapPool(VOID* buffer) {
  std::free(buffer);
  return EFI_SUCCESS;
}

// The test firmware with backed memory; freed blocks stay in the heap, warm.
void UseBackedMemory() {
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  gBS->AllocatePages = BackedPages;
  gBS->FreePages = FreeBackedPages;
  gBS->AllocatePool = HeapPool;
  gBS->FreePool = FreeHeapPool;
}

struct KernelCorpus {
  Bytes kernel, container, lz4;
  bool ok = false;

  KernelCorpus() {
    Bytes code = SharedLibraryMachineCode(kCodeSize);
    macho::Image image;
    std::string error;
    if (code.size() != kCodeSize || !macho::WrapFlatBinary(code, macho::FlatKernel{}, &image, &error) ||
        !macho::WriteImage(image, &kernel, &error)) {
      std::fprintf(stderr, "kernel_cache_bench: no kernel (%s)\n", error.c_str());
      return;
    }
    container = kernel_cache::BuildContainer(kernel);
    lz4 = Lz4Hc9(kernel);
    ok = !lz4.empty() && MapRegion() && LoadOnce() == EFI_SUCCESS;
    std::fprintf(stderr, "kernel %zu bytes: container %zu, lz4hc9 %zu\n", kernel.size(), container.size(), lz4.size());
  }

  EFI_STATUS LoadOnce() const {
    TestFirmware fw;
    UseBackedMemory();
    return Load();
  }

  // One load on the current firmware, after which the kernel region is empty again.
  EFI_STATUS Load() const {
    BootFile file;
    BootFileFromMemory(container.data(), container.size(), &file);
    KernelImageInfo info;
    EFI_STATUS status = LoadPrelinkedKernel(&file, &info);
    ReleaseAllAllocations();
    KernelRegionReset();
    return status;
  }
};

const KernelCorpus& TheKernel() {
  static KernelCorpus corpus;
  return corpus;
}

void BM_KernelCacheLoad(benchmark::State& state) {
  const KernelCorpus& k = TheKernel();
  if (!k.ok) {
    state.SkipWithError("kernel unavailable");
    return;
  }
  TestFirmware fw;
  UseBackedMemory();
  for (auto _ : state) {
    EFI_STATUS status = k.Load();
    if (status != EFI_SUCCESS) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(status);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(k.kernel.size()));
}

void BM_KernelLz4Decompress(benchmark::State& state) {
  const KernelCorpus& k = TheKernel();
  if (!k.ok) {
    state.SkipWithError("kernel unavailable");
    return;
  }
  Bytes out(k.kernel.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(LZ4_decompress_safe(reinterpret_cast<const char*>(k.lz4.data()),
                                                 reinterpret_cast<char*>(out.data()), int(k.lz4.size()),
                                                 int(out.size())));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(k.kernel.size()));
}

}  // namespace

BENCHMARK(BM_KernelCacheLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KernelLz4Decompress)->Unit(benchmark::kMillisecond);

HEARTH_BENCH_RATIO(kernel_cache_load_vs_lz4, "kernel_cache_load_vs_lz4", "BM_KernelCacheLoad",
                   "BM_KernelLz4Decompress");
