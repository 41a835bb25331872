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
#include "kernel/macho_loader.h"
#include "config/kernel_slide.h"
#include "lib/mem.h"

namespace {

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

EFI_STATUS ReadCompressed(BootFile* file, const KernelCacheHeader& header, UINT64 slice_size, PoolBuffer* out) {
  Stage stage("ReadKernelCache");
  // The compressed bytes must lie inside the slice, not run into the next one.
  if (header.CompressedSize > slice_size - kKernelCacheHeaderSize) return EFI_NOT_FOUND;
  EFI_STATUS status = out->Allocate(header.CompressedSize);
  if (EFI_ERROR(status)) return status;
  UINT64 n = header.CompressedSize;
  status = BootFileRead(file, &n, out->get());
  if (EFI_ERROR(status)) return status;
  return n < header.CompressedSize ? EFI_NOT_FOUND : EFI_SUCCESS;
}

EFI_STATUS Uncompress(const KernelCacheHeader& header, const UINT8* compressed, PoolBuffer* out) {
  if (EFI_ERROR(out->Allocate(header.UncompressedSize))) return EFI_OUT_OF_RESOURCES;
  Stage stage("UncompressKernelCache");
  UINT8* bytes = out->get<UINT8>();
  size_t produced =
      header.Method == kKernelCacheMethodLzvn
          ? DecompressLzvn(bytes, header.UncompressedSize, compressed, header.CompressedSize)
          : DecompressLzss(bytes, header.UncompressedSize, compressed, header.CompressedSize);
  if (produced != header.UncompressedSize) {
    LogMessage(kLogCategoryError, "ERROR!!! Uncompress prelinked kernel\n");
    return EFI_DEVICE_ERROR;
  }
  return EFI_SUCCESS;
}

EFI_STATUS Verify(const KernelCacheHeader& header, const UINT8* uncompressed) {
  Stage stage("CalculateAdler32");
  UINT32 adler = CalculateAdler32(uncompressed, header.UncompressedSize);
  if (adler != header.Adler32) {
    LogMessage(kLogCategoryError, "ERROR!!! Prelinked kernel corrupted\n");
    return EFI_CRC_ERROR;
  }
  KernelCacheRememberAdler32(adler);
  return EFI_SUCCESS;
}

EFI_STATUS LoadKernel(BootFile* file, KernelImageInfo* info) {
  Stage stage("LoadKernelFromStream");
  return LoadKernelFromStream(file, info);
}

// Reads, decompresses and checks the container, then loads the kernel from memory.
EFI_STATUS LoadContainer(BootFile* file, const KernelCacheHeader& header, UINT64 slice_size, KernelImageInfo* info) {
  CancelSlideUnlessSupported(header);
  if (header.Method != kKernelCacheMethodLzss && header.Method != kKernelCacheMethodLzvn) return EFI_UNSUPPORTED;
  // Both buffers go on every way out: the kernel has been copied to its own memory by then.
  PoolBuffer compressed, uncompressed;
  EFI_STATUS status = ReadCompressed(file, header, slice_size, &compressed);
  if (EFI_ERROR(status)) return status;
  status = Uncompress(header, compressed.get<UINT8>(), &uncompressed);
  if (EFI_ERROR(status)) return status;
  status = Verify(header, uncompressed.get<UINT8>());
  if (EFI_ERROR(status)) return status;
  BootFileClose(file);
  BootFileFromMemory(uncompressed.get(), header.UncompressedSize, file);
  status = LoadKernel(file, info);
  MemZero(file, sizeof(*file));  // its buffer goes with `uncompressed`
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
