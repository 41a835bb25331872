#include "kernel/kernel_cache_container.h"

bool KernelCacheHasSignature(ByteSpan bytes) {
  UINT32 signature = 0;
  return bytes.ReadBe32(kKernelCacheSignatureOffset, &signature) && signature == kKernelCacheSignature;
}

bool KernelCacheParseHeader(ByteSpan bytes, KernelCacheHeader* header) {
  if (bytes.size() < kKernelCacheHeaderSize || !KernelCacheHasSignature(bytes)) return false;
  const UINT8* p = bytes.data();
  header->Method = LoadBe32(p + kKernelCacheMethodOffset);
  header->Adler32 = LoadBe32(p + kKernelCacheAdler32Offset);
  header->UncompressedSize = LoadBe32(p + kKernelCacheUncompressedSizeOffset);
  header->CompressedSize = LoadBe32(p + kKernelCacheCompressedSizeOffset);
  header->SlideSupport = LoadLe32(p + kKernelCacheSlideSupportOffset);
  return true;
}
