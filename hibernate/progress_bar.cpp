#include "hibernate/preview.h"

namespace {

constexpr int kBlockWidth = 7;
constexpr int kBlockHeight = 16;
constexpr int kPitch = 10;
constexpr UINT8 kFillCurrent = 174;
constexpr UINT8 kFillWaiting = 92;
constexpr UINT8 kFillDone = 230;

const UINT8 kMask[kBlockHeight][kBlockWidth] = {
    {0, 99, 216, 240, 216, 99, 0},       {81, 255, 255, 255, 255, 255, 81},
    {174, 255, 255, 255, 255, 255, 174}, {195, 255, 255, 255, 255, 255, 195},
    {195, 255, 255, 255, 255, 255, 195}, {195, 255, 255, 255, 255, 255, 195},
    {195, 255, 255, 255, 255, 255, 195}, {195, 255, 255, 255, 255, 255, 195},
    {195, 255, 255, 255, 255, 255, 195}, {195, 255, 255, 255, 255, 255, 195},
    {195, 255, 255, 255, 255, 255, 195}, {195, 255, 255, 255, 255, 255, 195},
    {195, 255, 255, 255, 255, 255, 195}, {174, 255, 255, 255, 255, 255, 174},
    {84, 255, 255, 255, 255, 255, 84},   {0, 102, 219, 243, 219, 102, 0},
};

bool Fits(const FramebufferFacts& screen) {
  return screen.base && screen.bits_per_pixel >= 16 && screen.width >= 190 && screen.height >= 97;
}

UINT8* PixelAt(const FramebufferFacts& screen, UINT32 block, int x, int y) {
  UINT32 left = (screen.width - 190) / 2 + block * kPitch + x;
  UINT32 top = screen.height - 97 + y;
  return reinterpret_cast<UINT8*>(screen.base) + UINT64(top) * screen.row_bytes + left * (screen.bits_per_pixel / 8);
}

UINT8 GreyOf(const FramebufferFacts& screen, const UINT8* pixel) {
  if (screen.bits_per_pixel == 16) {
    UINT16 v = static_cast<UINT16>(pixel[0] | pixel[1] << 8) & 0x1F;
    return static_cast<UINT8>((v >> 2) | (v << 3));
  }
  return pixel[0];
}

void Put(const FramebufferFacts& screen, UINT8* pixel, UINT8 grey) {
  if (screen.bits_per_pixel == 16) {
    UINT16 g = grey >> 3;
    UINT16 v = static_cast<UINT16>(g | g << 5 | g << 10);
    pixel[0] = static_cast<UINT8>(v);
    pixel[1] = static_cast<UINT8>(v >> 8);
  } else {
    pixel[0] = pixel[1] = pixel[2] = grey;
  }
}

}  // namespace

void DrawProgressBar(const FramebufferFacts& screen, UINT8* save) {
  if (!Fits(screen) || !save) return;
  for (UINT32 block = 0; block < kProgressBlocks; ++block) {
    UINT8 fill = block == 0 ? kFillCurrent : kFillWaiting;
    UINT8* saved = save + block * kProgressSaveBytesPerBlock;
    for (int y = 0; y < kBlockHeight; ++y) {
      for (int x = 0; x < kBlockWidth; ++x) {
        UINT32 m = kMask[y][x];
        if (m == 0) continue;
        UINT8* pixel = PixelAt(screen, block, x, y);
        if (m == 255) {
          Put(screen, pixel, fill);
          continue;
        }
        UINT8 under = GreyOf(screen, pixel);
        *saved++ = under;
        Put(screen, pixel, static_cast<UINT8>((m * fill + (255 - m) * under + 255) >> 8));
      }
    }
  }
}

void UpdateProgress(const FramebufferFacts& screen, const UINT8* save, UINT32 first, UINT32 done) {
  if (!Fits(screen) || !save) return;
  UINT32 last = done < kProgressBlocks - 1 ? done : kProgressBlocks - 1;
  for (UINT32 block = first; block <= last; ++block) {
    UINT32 fill = block < done ? kFillDone : kFillCurrent;
    const UINT8* saved = save + block * kProgressSaveBytesPerBlock;
    for (int y = 0; y < kBlockHeight; ++y) {
      for (int x = 0; x < kBlockWidth; ++x) {
        UINT32 m = kMask[y][x];
        if (m == 0) continue;
        // Solid pixels take the fill itself, as when the bar was first drawn.
        UINT8* pixel = PixelAt(screen, block, x, y);
        if (m == 255) {
          Put(screen, pixel, static_cast<UINT8>(fill));
          continue;
        }
        UINT32 under = *saved++;
        Put(screen, pixel, static_cast<UINT8>((m * fill + (255 - m) * under + 255) / 255));
      }
    }
  }
}
