#include "platform/png_decoder.h"

#include "lib/mem.h"

namespace {

// Pool blocks with their size in front, so that realloc knows how much to keep.
constexpr UINTN kHeader = 16;

// No block the decoder needs is larger than the biggest picture it accepts, 32-bit pixels plus
// a filter byte a row. A file that claims more (compressed chunks announcing gigabytes, say)
// is refused as out of memory instead of draining the firmware's pool.
constexpr size_t kLargestBlock = size_t(kPngMaxSide) * kPngMaxSide * 4 + kPngMaxSide;

void* PoolMalloc(size_t size) {
  if (size > kLargestBlock) return nullptr;
  void* block = nullptr;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, size + kHeader, &block)) || !block) return nullptr;
  *static_cast<UINT64*>(block) = size;
  return static_cast<UINT8*>(block) + kHeader;
}

void PoolRelease(void* p) {
  if (p) gBS->FreePool(static_cast<UINT8*>(p) - kHeader);
}

void* PoolRealloc(void* p, size_t size) {
  if (!p) return PoolMalloc(size);
  void* fresh = PoolMalloc(size);
  if (!fresh) return nullptr;
  UINT64 old = *reinterpret_cast<UINT64*>(static_cast<UINT8*>(p) - kHeader);
  MemCopy(fresh, p, old < size ? old : size);
  PoolRelease(p);
  return fresh;
}

// stb_image copies zero bytes into a still-null buffer for an empty first data chunk; with the
// C library's memcpy that is undefined, so its copies go through one that allows it.
void* PngCopy(void* to, const void* from, size_t size) {
  if (size) MemCopy(to, from, size);
  return to;
}

}  // namespace

#include <string.h>
#define memcpy(to, from, size) PngCopy(to, from, size)

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_NO_SIMD
#define STBI_NO_THREAD_LOCALS
#define STBI_NO_FAILURE_STRINGS
#define STBI_ASSERT(x) ((void)0)
#define STBI_MALLOC(size) PoolMalloc(size)
#define STBI_REALLOC(p, size) PoolRealloc(p, size)
#define STBI_FREE(p) PoolRelease(p)
#define STBI_MAX_DIMENSIONS kPngMaxSide
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wtype-limits"
#include <stb_image.h>
#pragma GCC diagnostic pop
#undef memcpy

namespace {

constexpr UINT8 kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

bool PngInfo(const void* data, UINTN size, UINT32* width, UINT32* height) {
  if (!data || size < sizeof(kPngSignature) || size > 0x7FFFFFFF) return false;
  if (MemCompare(data, kPngSignature, sizeof(kPngSignature)) != 0) return false;
  int w = 0, h = 0, components = 0;
  if (!stbi_info_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size), &w, &h, &components)) {
    return false;
  }
  if (w <= 0 || h <= 0 || UINT32(w) > kPngMaxSide || UINT32(h) > kPngMaxSide) return false;
  *width = static_cast<UINT32>(w);
  *height = static_cast<UINT32>(h);
  return true;
}

EFI_STATUS PngDecode(const void* data, UINTN size, void** pixels, UINTN* pixels_size, UINT32* width,
                     UINT32* height) {
  UINT32 w = 0, h = 0;
  if (!pixels || !pixels_size || !PngInfo(data, size, &w, &h)) return EFI_UNSUPPORTED;
  int dw = 0, dh = 0, components = 0;
  stbi_uc* rgba = stbi_load_from_memory(static_cast<const stbi_uc*>(data), static_cast<int>(size), &dw, &dh,
                                        &components, 4);
  if (!rgba) return EFI_VOLUME_CORRUPTED;
  if (UINT32(dw) != w || UINT32(dh) != h) {
    stbi_image_free(rgba);
    return EFI_VOLUME_CORRUPTED;
  }
  UINTN count = UINTN(w) * h;
  UINT8* out = nullptr;
  if (EFI_ERROR(gBS->AllocatePool(EfiBootServicesData, count * 4, reinterpret_cast<void**>(&out))) || !out) {
    stbi_image_free(rgba);
    return EFI_OUT_OF_RESOURCES;
  }
  for (UINTN i = 0; i < count; ++i) {
    out[4 * i + 0] = rgba[4 * i + 2];
    out[4 * i + 1] = rgba[4 * i + 1];
    out[4 * i + 2] = rgba[4 * i + 0];
    out[4 * i + 3] = static_cast<UINT8>(255 - rgba[4 * i + 3]);
  }
  stbi_image_free(rgba);
  *pixels = out;
  *pixels_size = count * 4;
  if (width) *width = w;
  if (height) *height = h;
  return EFI_SUCCESS;
}
