// Helpers shared by the fuzz targets.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <memory>

#include "kernel/macho_format.h"
#include "kernel/macho_walker.h"
#include "lib/mem.h"
#include "lib/span.h"

namespace fuzz_support {

// The Mach-O loader zero-fills every segment to its full size, up to the 1 GiB kernel window:
// true when no Mach-O header in the data (wherever a slice may start) asks for more than
// `limit` bytes of segments in all, so that runs stay about parsing.
inline bool ModestMachOSegments(const uint8_t* data, size_t size, uint64_t limit) {
  for (size_t at = 0; at + 4 <= size; ++at) {
    if (LoadLe32(data + at) != kMachOMagic64) continue;
    ByteSpan area;
    INT32 count = 0;
    if (!MachOHeaderCommands(ByteSpan(data + at, size - at), &area, &count)) continue;
    uint64_t total = 0;
    MachOCommand segment;
    for (bool more = MachOFirstSegment(area, count, &segment); more;
         more = MachONextSegment(area, count, segment, &segment)) {
      uint64_t bytes = LoadLe64(area.data() + segment.Offset + kSegmentVirtualSize);
      if (bytes > limit || (total += bytes) > limit) return false;
    }
  }
  return true;
}

using Decompressor = size_t (*)(void* destination, size_t destination_capacity, const void* source,
                                size_t source_length);

// One decompressor run: the first two input bytes choose the destination size
// (little-endian) and the rest is the compressed data. The destination is a heap block of
// exactly that size, so any write past it or read past the data is caught.
inline void DecompressIntoExactBuffer(Decompressor decompress, const uint8_t* data, size_t size) {
  if (size < 2) return;
  size_t capacity = data[0] | (data[1] << 8);
  std::unique_ptr<uint8_t[]> out(new uint8_t[capacity ? capacity : 1]);
  size_t produced = decompress(out.get(), capacity, data + 2, size - 2);
  if (produced > capacity) std::abort();
}

}  // namespace fuzz_support
