#include "graphics/failed_boot_image.h"

#include "devicetree/memory_map_entries.h"
#include "flags/boot_mode.h"
#include "graphics/display.h"
#include "graphics/picture.h"
#include "lib/mem.h"
#include "memory/memory.h"

namespace {

// Kernel memory of size bytes, zero-filled; 0 when there is none.
UINT64 KernelCopy(UINT64 size, const void* data, UINT64 data_size) {
  UINT64 allocated = size;
  UINT64 kernel_address = 0;
  UINT64 physical = KernelMemoryAllocate(&allocated, &kernel_address);
  if (!physical) return 0;
  void* block = reinterpret_cast<void*>(static_cast<UINTN>(physical));
  MemZero(block, static_cast<size_t>(allocated));
  MemCopy(block, data, static_cast<size_t>(data_size));
  return physical;
}

}  // namespace

EFI_STATUS SetupFailedBootImage(BootStructInputs* inputs, const char** error) {
  *error = nullptr;
  GetFramebufferInfo(&inputs->video, nullptr);
  inputs->video.displayMode = (BootModeFlags & kBootModeGraphicsConsole) ? 1 : 2;
  inputs->hidpi = gDisplay.hidpi;

  char name[32];
  if (EFI_ERROR(EmbeddedPictureName("CircleSlash", BootModeFlags & kBootModeBlackBackground, gDisplay.hidpi, name,
                                    sizeof(name)))) {
    return EFI_SUCCESS;
  }
  const EmbeddedPicture* sign = FindEmbeddedPicture(name);
  if (!sign || sign->compression != kEmbeddedPictureLzss || !sign->pixels || !sign->colors) return EFI_SUCCESS;

  UINT64 clut = KernelCopy(sign->colors_length, sign->colors, sign->colors_length);
  if (!clut) {
    *error = "ERROR!!! Could not allocate FailedImage CLUT\n";
    return EFI_OUT_OF_RESOURCES;
  }
  if (EFI_ERROR(DeviceTreeAddMemoryMapEntry("FailedCLUT", clut, sign->colors_length))) {
    *error = "ERROR!!! Could not name FailedImage CLUT in the device tree\n";
    return EFI_OUT_OF_RESOURCES;
  }

  // The block is width x height bytes past the header, or longer when the compressed plane
  // is (a plane that does not compress must still arrive whole).
  UINT64 plane = UINT64(sign->width) * sign->height;
  if (sign->pixels_length > plane) plane = sign->pixels_length;
  UINT64 size = kFailedImageHeaderSize + plane;
  UINT8 header[kFailedImageHeaderSize] = {};
  StoreLe32(header + 0, sign->width);
  StoreLe32(header + 4, sign->height);
  StoreLe32(header + 12, sign->pixels_length);
  UINT64 image = KernelCopy(size, header, sizeof(header));
  if (!image) {
    *error = "ERROR!!! Could not allocate FailedImage\n";
    return EFI_OUT_OF_RESOURCES;
  }
  MemCopy(reinterpret_cast<UINT8*>(static_cast<UINTN>(image)) + kFailedImageHeaderSize, sign->pixels,
          sign->pixels_length);
  if (EFI_ERROR(DeviceTreeAddMemoryMapEntry("FailedImage", image, size))) {
    *error = "ERROR!!! Could not name FailedImage in the device tree\n";
    return EFI_OUT_OF_RESOURCES;
  }
  return EFI_SUCCESS;
}
