// The compressed kernel cache container: a 384-byte header ("comp", the method, the
// Adler-32 and both sizes, big-endian) followed by the compressed kernel.
#pragma once

#include "efi/types.h"
#include "lib/span.h"

constexpr UINT32 kKernelCacheSignature = 0x636F6D70;  // "comp"
constexpr UINT32 kKernelCacheMethodLzss = 0x6C7A7373;  // "lzss"
constexpr UINT32 kKernelCacheMethodLzvn = 0x6C7A766E;  // "lzvn"

// Field offsets from the start of the slice.
constexpr UINTN kKernelCacheSignatureOffset = 0;
constexpr UINTN kKernelCacheMethodOffset = 4;
constexpr UINTN kKernelCacheAdler32Offset = 8;
constexpr UINTN kKernelCacheUncompressedSizeOffset = 12;
constexpr UINTN kKernelCacheCompressedSizeOffset = 16;
constexpr UINTN kKernelCacheSlideSupportOffset = 20;
constexpr UINTN kKernelCacheHeaderSize = 384;

struct KernelCacheHeader {
  UINT32 Method;            // kKernelCacheMethodLzss, kKernelCacheMethodLzvn or anything else
  UINT32 Adler32;           // of the uncompressed kernel
  UINT32 UncompressedSize;
  UINT32 CompressedSize;
  UINT32 SlideSupport;      // 0: the kernel must not be slid
};

// True when bytes start with the container signature.
bool KernelCacheHasSignature(ByteSpan bytes);

// Reads the header fields from the first 384 bytes; false when fewer are given or the
// signature is missing. Nothing is checked but the signature and the length.
bool KernelCacheParseHeader(ByteSpan bytes, KernelCacheHeader* header);
