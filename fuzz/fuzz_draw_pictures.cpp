// Resampling and compositing of pictures whose sizes and pixels come from outside (decoded
// logos and archive pictures): the first bytes choose the operation, the filter, the sizes,
// the place, the clip and the layer transparency; the rest fills the source pixels. Every
// buffer is a heap block of exactly its size, so a read or write outside it is caught.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "draw/composite.h"
#include "draw/resample.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

namespace {

constexpr size_t kHeader = 14;

std::vector<DUPixel> Fill(const uint8_t* data, size_t size, size_t count) {
  std::vector<DUPixel> pixels(count);
  for (size_t i = 0; i < count; ++i) {
    DUPixel p = 0;
    for (int b = 0; b < 4; ++b) p |= DUPixel(size ? data[(4 * i + b) % size] : 0) << (8 * b);
    pixels[i] = p;
  }
  return pixels;
}

void Resample(const uint8_t* h, const std::vector<DUPixel>& source, DUSize from) {
  DUSize to{h[5] % 128 + 1, int(h[4]) * 2 + 1};  // up to 511 wide: large ratios both ways
  DUSetResampleFilter(h[1] % kDUFilterCount);
  std::unique_ptr<DUPixel[]> out(new DUPixel[size_t(to.width) * to.height]);
  EFI_STATUS status = DUResamplePixelBuffer(out.get(), source.data(), from, to);
  if (status != EFI_SUCCESS && status != EFI_ABORTED) std::abort();
  for (size_t i = 0; status == EFI_SUCCESS && h[1] % kDUFilterCount != kDUFilterNearest && i < size_t(to.width) * to.height; ++i) {
    if ((out[i] >> 24) == 255 && out[i] != 0xFF000000u) std::abort();  // invisible pixels keep no colour
  }
}

void Composite(const uint8_t* h, const std::vector<DUPixel>& source, DUSize from) {
  DUSize to{h[5] % 48 + 1, h[4] % 48 + 1};
  std::unique_ptr<DUPixel[]> out(new DUPixel[size_t(to.width) * to.height]());
  DURect clip{INT8(h[6]), INT8(h[7]), INT8(h[8]), INT8(h[9])};
  DUPoint at{INT8(h[10]), INT8(h[11])};
  DUScaledCopy* cache = nullptr;
  DUScaling scaling{BOOLEAN(h[12] & 1), DUFixed(h[12]) << 10, DUFixed(h[13]) << 10, 1, &cache};
  EFI_STATUS status = DUCompositePixelBuffers(out.get(), to, &clip, source.data(), from, at, h[1], &scaling);
  if (status != EFI_SUCCESS && status != EFI_NOT_FOUND && status != EFI_INVALID_PARAMETER) std::abort();
  DUScaledCopiesFree(&cache);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::unique_ptr<TestFirmware> fw = std::make_unique<TestFirmware>();
  if (size < kHeader) return 0;
  DUSize from{data[3] % 64 + 1, data[2] % 64 + 1};
  std::vector<DUPixel> source = Fill(data + kHeader, size - kHeader, size_t(from.width) * from.height);
  if (data[0] & 1) {
    Composite(data, source, from);
  } else {
    Resample(data, source, from);
  }
  if (TrackedAllocationCount() != 0) std::abort();
  return 0;
}
