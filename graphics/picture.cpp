#include "graphics/picture.h"

#include "config/background_color.h"
#include "flags/boot_mode.h"
#include "graphics/display.h"
#include "kernel/lzss.h"
#include "kernel/lzvn.h"
#include "lib/host_reset.h"
#include "lib/string.h"
#include "memory/memory.h"

namespace {

const EmbeddedPicture* gListOverride = nullptr;

void ResetPictureList() { gListOverride = nullptr; }
HEARTH_HOST_RESET(ResetPictureList);

// Decompresses one plane into exactly count bytes; one byte of room more shows a stream that
// runs on past the plane.
EFI_STATUS DecompressPlane(const EmbeddedPicture* record, const UINT8* source, UINT32 length, UINT8** plane,
                           UINTN count) {
  *plane = nullptr;
  if (!source) return EFI_LOAD_ERROR;
  // The LZVN decoder wants at least 8 bytes of room.
  UINTN room = count + 1 < 8 ? 8 : count + 1;
  UINT8* buffer = static_cast<UINT8*>(PoolAllocate(room));
  if (!buffer) return EFI_OUT_OF_RESOURCES;
  size_t produced = 0;
  if (record->compression == kEmbeddedPictureLzss) {
    produced = DecompressLzss(buffer, room, source, length);
  } else if (record->compression == kEmbeddedPictureLzvn) {
    produced = DecompressLzvn(buffer, room, source, length);
  }
  if (produced != count) {
    PoolFree(buffer);
    return EFI_LOAD_ERROR;
  }
  *plane = buffer;
  return EFI_SUCCESS;
}

}  // namespace

void PictureFree(Picture* picture) {
  if (!picture) return;
  PoolFree(picture->pixels);
  *picture = Picture{};
}

const EmbeddedPicture* EmbeddedPictureList() { return gListOverride ? gListOverride : gEmbeddedPictures; }

#ifdef HEARTH_HOST
void SetEmbeddedPictureListForTest(const EmbeddedPicture* list) { gListOverride = list; }
#endif

const EmbeddedPicture* FindEmbeddedPicture(const char* name) {
  if (!name) return nullptr;
  for (const EmbeddedPicture* p = EmbeddedPictureList(); p; p = p->next) {
    if (p->name && AsciiStrCmp(p->name, name) == 0) return p;
  }
  return nullptr;
}

EFI_STATUS EmbeddedPictureName(const char* base, bool black, bool hidpi, char* name, UINTN size) {
  UINTN needed = AsciiStrLen(base) + (black ? 5 : 0) + (hidpi ? 2 : 0) + 1;
  if (!name || size < needed) return EFI_BUFFER_TOO_SMALL;
  UINTN n = AsciiStrLen(base);
  AsciiStrCopy(name, size, base);
  if (black) AsciiStrCopy(name + n, size - n, "Black");
  n = AsciiStrLen(name);
  if (hidpi) AsciiStrCopy(name + n, size - n, "2X");
  return EFI_SUCCESS;
}

EFI_STATUS DecodeEmbeddedPicture(const EmbeddedPicture* record, Picture* picture) {
  if (!record || !picture) return EFI_INVALID_PARAMETER;
  *picture = Picture{};
  UINTN count = UINTN(record->width) * record->height;
  UINTN entries = record->colors ? record->colors_length / 3 : 0;
  if (count == 0) return EFI_LOAD_ERROR;
  UINT8* indices = nullptr;
  UINT8* opacity = nullptr;
  EFI_STATUS status = DecompressPlane(record, record->pixels, record->pixels_length, &indices, count);
  if (!EFI_ERROR(status) && record->opacity) {
    status = DecompressPlane(record, record->opacity, record->opacity_length, &opacity, count);
  }
  EFI_GRAPHICS_OUTPUT_BLT_PIXEL* pixels = nullptr;
  if (!EFI_ERROR(status)) {
    pixels = static_cast<EFI_GRAPHICS_OUTPUT_BLT_PIXEL*>(PoolAllocate(count * sizeof(*pixels)));
    if (!pixels) status = EFI_OUT_OF_RESOURCES;
  }
  for (UINTN i = 0; !EFI_ERROR(status) && i < count; ++i) {
    if (indices[i] >= entries) {
      status = EFI_LOAD_ERROR;
      break;
    }
    const UINT8* entry = record->colors + 3 * indices[i];
    pixels[i] = {entry[2], entry[1], entry[0], opacity ? opacity[i] : static_cast<UINT8>(255)};
  }
  PoolFree(indices);
  PoolFree(opacity);
  if (EFI_ERROR(status)) {
    PoolFree(pixels);
    return status;
  }
  *picture = Picture{pixels, record->width, record->height};
  return EFI_SUCCESS;
}

void LayOverBackground(Picture* picture, UINT32 background) {
  const UINT32 bg[3] = {background & 0xFF, (background >> 8) & 0xFF, (background >> 16) & 0xFF};
  UINTN count = UINTN(picture->width) * picture->height;
  for (UINTN i = 0; i < count; ++i) {
    EFI_GRAPHICS_OUTPUT_BLT_PIXEL& p = picture->pixels[i];
    UINT32 a = p.Reserved;
    // Rounded division by 255: opacity 255 gives the colour itself and 0 the background
    // (a shift by 8 would leave every pixel one level dark).
    p.Blue = static_cast<UINT8>((bg[0] * (255 - a) + p.Blue * a + 127) / 255);
    p.Green = static_cast<UINT8>((bg[1] * (255 - a) + p.Green * a + 127) / 255);
    p.Red = static_cast<UINT8>((bg[2] * (255 - a) + p.Red * a + 127) / 255);
    p.Reserved = 255;
  }
}

EFI_STATUS LoadEmbeddedPicture(const char* base, Picture* picture) {
  char name[64];
  EFI_STATUS status =
      EmbeddedPictureName(base, BootModeFlags & kBootModeBlackBackground, gDisplay.hidpi, name, sizeof(name));
  if (EFI_ERROR(status)) return status;
  const EmbeddedPicture* record = FindEmbeddedPicture(name);
  if (!record) return EFI_NOT_FOUND;
  status = DecodeEmbeddedPicture(record, picture);
  if (EFI_ERROR(status)) return status;
  LayOverBackground(picture, BackgroundColor());
  return EFI_SUCCESS;
}
