#include "kernel/prelinked_kernel.h"

#include "flags/boot_mode.h"
#include "diag/stage.h"
#include "diag/log.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "kernel/adler32.h"
#include "kernel/kernel_cache_container.h"
#include "kernel/kernel_cache_results.h"
#include "kernel/lzss.h"
#include "kernel/lzvn.h"
#include "kernel/macho_format.h"
#include "kernel/macho_loader.h"
#include "kernel/macho_placement.h"
#include "config/kernel_slide.h"
#include "lib/mem.h"

namespace {

// Both buffers go on every way out: the kernel has been copied to its own memory by then.
// The compressed bytes are only borrowed when the file already holds them in memory. The
// uncompressed bytes go straight into the kernel region when the image allows (placement),
// and into a pool buffer otherwise.
struct ContainerBuffers {
  const UINT8* compressed = nullptr;  // the file's own bytes, or compressed_copy's
  PoolBuffer compressed_copy;
  PoolBuffer uncompressed_copy;
  UINT8* uncompressed = nullptr;  // placement.Base, or uncompressed_copy's
  KernelPlacement placement;
  UINT32 adler32 = 0;  // of the uncompressed bytes, when decompression computed it on the way
  bool have_adler32 = false;
};

// Reads what the slice holds of the header; *length comes back as the bytes read.
EFI_STATUS ReadHeader(BootFile* file, UINT64 slice_size, UINT8 (&header)[kKernelCacheHeaderSize], UINT64* length) {
  *length = slice_size < sizeof(header) ? slice_size : sizeof(header);
  MemZero(header, sizeof(header));
  return BootFileRead(file, length, header);
}

void CancelSlideUnlessSupported(const KernelCacheHeader& header) {
  if (header.SlideSupport != 0 || !(BootModeFlags & kBootModeSlide)) return;
  KernelSlide = 0;
  BootModeFlags &= ~kBootModeSlide;
}

EFI_STATUS ReadCompressed(BootFile* file, const KernelCacheHeader& header, UINT64 slice_size,
                          ContainerBuffers* buffers) {
  Stage stage("ReadKernelCache");
  // The compressed bytes must lie inside the slice, not run into the next one.
  if (header.CompressedSize > slice_size - kKernelCacheHeaderSize) return EFI_NOT_FOUND;
  buffers->compressed = BootFileTake(file, header.CompressedSize);
  if (buffers->compressed) return EFI_SUCCESS;
  EFI_STATUS status = buffers->compressed_copy.Allocate(header.CompressedSize);
  if (EFI_ERROR(status)) return status;
  buffers->compressed = buffers->compressed_copy.get<UINT8>();
  UINT64 n = header.CompressedSize;
  status = BootFileRead(file, &n, buffers->compressed_copy.get());
  if (EFI_ERROR(status)) return status;
  return n < header.CompressedSize ? EFI_NOT_FOUND : EFI_SUCCESS;
}

void AddToAdler32(void* context, const uint8_t* data, size_t n) {
  UpdateAdler32(static_cast<Adler32Running*>(context), data, n);
}

size_t Decompress(const KernelCacheHeader& header, const UINT8* compressed, UINT8* out, size_t size) {
  return header.Method == kKernelCacheMethodLzvn ? DecompressLzvn(out, size, compressed, header.CompressedSize)
                                                 : DecompressLzss(out, size, compressed, header.CompressedSize);
}

// Load commands larger than this are not worth decoding twice: such a kernel goes through
// a buffer.
constexpr UINT64 kMaxPlacedCommands = 64 * 1024;

// Takes the kernel's pages for decompressing straight into them, when the header and load
// commands at the start of the stream allow. Costs a second decoding of those few bytes.
bool Place(const KernelCacheHeader& header, ContainerBuffers* buffers) {
  UINT8 head[kMachOHeaderSize];
  if (header.UncompressedSize < sizeof(head) ||
      Decompress(header, buffers->compressed, head, sizeof(head)) != sizeof(head)) {
    return false;
  }
  UINT64 commands_size = LoadLe32(head + kMachOHeaderCommandsSize);
  UINT64 prefix_size = kMachOHeaderSize + commands_size;
  if (commands_size > kMaxPlacedCommands || prefix_size > header.UncompressedSize) return false;
  PoolBuffer prefix;
  if (EFI_ERROR(prefix.Allocate(prefix_size)) ||
      Decompress(header, buffers->compressed, prefix.get<UINT8>(), prefix_size) != prefix_size) {
    return false;
  }
  return MachOPlaceImage(ByteSpan(prefix.get(), prefix_size), header.UncompressedSize, &buffers->placement);
}

// Into the kernel's own pages when it can be placed, into a pool buffer otherwise. LZVN
// output is checksummed stretch by stretch as it is produced, while still in cache; the
// checksum stage then only compares.
EFI_STATUS Uncompress(const KernelCacheHeader& header, ContainerBuffers* buffers) {
  if (Place(header, buffers)) {
    buffers->uncompressed = buffers->placement.Base;
  } else {
    if (EFI_ERROR(buffers->uncompressed_copy.Allocate(header.UncompressedSize))) return EFI_OUT_OF_RESOURCES;
    buffers->uncompressed = buffers->uncompressed_copy.get<UINT8>();
  }
  Stage stage("UncompressKernelCache");
  UINT8* bytes = buffers->uncompressed;
  size_t produced;
  if (header.Method == kKernelCacheMethodLzvn) {
    Adler32Running adler = StartAdler32();
    produced = DecompressLzvnStreaming(bytes, header.UncompressedSize, buffers->compressed,
                                       header.CompressedSize, AddToAdler32, &adler);
    buffers->adler32 = adler.value;
    buffers->have_adler32 = true;
  } else {
    produced = DecompressLzss(bytes, header.UncompressedSize, buffers->compressed,
                              header.CompressedSize);
  }
  if (produced != header.UncompressedSize) {
    LogMessage(kLogCategoryError, "ERROR!!! Uncompress prelinked kernel\n");
    return EFI_DEVICE_ERROR;
  }
  return EFI_SUCCESS;
}

EFI_STATUS Verify(const KernelCacheHeader& header, const ContainerBuffers& buffers) {
  Stage stage("CalculateAdler32");
  UINT32 adler = buffers.have_adler32 ? buffers.adler32
                                      : CalculateAdler32(buffers.uncompressed, header.UncompressedSize);
  if (adler != header.Adler32) {
    LogMessage(kLogCategoryError, "ERROR!!! Prelinked kernel corrupted\n");
    return EFI_CRC_ERROR;
  }
  KernelCacheRememberAdler32(adler);
  return EFI_SUCCESS;
}

EFI_STATUS LoadKernel(BootFile* file, KernelImageInfo* info, const KernelPlacement* placement = nullptr) {
  Stage stage("LoadKernelFromStream");
  return LoadPlacedKernel(file, placement, info);
}

// The container's steps after reading; a placed kernel's pages go back on failure.
EFI_STATUS UncompressCheckAndLoad(BootFile* file, const KernelCacheHeader& header, ContainerBuffers* buffers,
                                  KernelImageInfo* info) {
  EFI_STATUS status = Uncompress(header, buffers);
  if (EFI_ERROR(status)) return status;
  status = Verify(header, *buffers);
  if (EFI_ERROR(status)) return status;
  BootFileClose(file);
  BootFileFromMemory(buffers->uncompressed, header.UncompressedSize, file);
  status = LoadKernel(file, info, buffers->placement.Base ? &buffers->placement : nullptr);
  MemZero(file, sizeof(*file));  // its buffer goes with ContainerBuffers
  return status;
}

// Reads, decompresses and checks the container, then loads the kernel from memory.
EFI_STATUS LoadContainer(BootFile* file, const KernelCacheHeader& header, UINT64 slice_size, KernelImageInfo* info) {
  CancelSlideUnlessSupported(header);
  if (header.Method != kKernelCacheMethodLzss && header.Method != kKernelCacheMethodLzvn) return EFI_UNSUPPORTED;
  ContainerBuffers buffers;
  EFI_STATUS status = ReadCompressed(file, header, slice_size, &buffers);
  if (EFI_ERROR(status)) return status;
  status = UncompressCheckAndLoad(file, header, &buffers, info);
  if (EFI_ERROR(status)) MachOUnplaceImage(&buffers.placement);
  return status;
}

}  // namespace

EFI_STATUS LoadPrelinkedKernel(BootFile* file, KernelImageInfo* info) {
  MemZero(info, sizeof(*info));
  KernelCacheRememberAdler32(0);
  UINT64 slice_offset = 0, slice_size = 0;
  EFI_STATUS status = SelectFileSlice(file, &slice_offset, &slice_size);
  if (EFI_ERROR(status)) return status;
  UINT8 bytes[kKernelCacheHeaderSize];
  UINT64 length = 0;
  status = ReadHeader(file, slice_size, bytes, &length);
  if (EFI_ERROR(status)) return status;
  ByteSpan read(bytes, static_cast<size_t>(length));
  if (!KernelCacheHasSignature(read)) {
    // Not a container: the Mach-O loader picks the slice again from the file's start.
    status = BootFileSetPosition(file, 0);
    return EFI_ERROR(status) ? status : LoadKernel(file, info);
  }
  KernelCacheHeader header;
  if (!KernelCacheParseHeader(read, &header)) return EFI_LOAD_ERROR;
  return LoadContainer(file, header, slice_size, info);
}
