#include "hibernate/image_format.h"

namespace {

constexpr UINT64 kPage = 4096;
// Far above any image a machine can hold; keeps every sum below from wrapping.
constexpr UINT64 kImageSizeLimit = 1ull << 44;

UINT64 RoundUp(UINT64 value, UINT64 unit) { return (value + unit - 1) / unit * unit; }

EFI_STATUS Refuse(const char** reason, const char* text) {
  if (reason) *reason = text;
  return EFI_VOLUME_CORRUPTED;
}

}  // namespace

EFI_STATUS ImageLayoutFromHeader(ByteSpan header, ImageLayout* layout, const char** reason) {
  if (header.size() < kImageHeaderSize) return Refuse(reason, "header shorter than 512 bytes");
  const UINT8* h = header.data();
  ImageLayout l{};
  l.image1_size = LoadLe64(h + kHdrImage1Size);
  l.block_size = LoadLe32(h + kHdrDeviceBlockSize);
  l.device_base = LoadLe64(h + kHdrDeviceBase);
  l.extent_map_size = LoadLe32(h + kHdrExtentMapSize);
  l.preview_size = LoadLe32(h + kHdrPreviewSize);
  l.preview_offset = LoadLe32(h + kHdrPreviewOffset);
  UINT64 restore_pages = LoadLe32(h + kHdrRestorePageCount);

  if (l.block_size < kImageHeaderSize || l.block_size > 0x10000 || (l.block_size & (l.block_size - 1))) {
    return Refuse(reason, "device block size is not a power of two from 512 to 65536");
  }
  if (l.image1_size < l.block_size || l.image1_size > kImageSizeLimit) {
    return Refuse(reason, "image-1 size smaller than the header block or implausibly large");
  }
  if (l.extent_map_size < kInlineExtentBytes || l.extent_map_size > kExtentMapMaxSize ||
      l.extent_map_size % kExtentSize) {
    return Refuse(reason, "extent map size not a multiple of 16 from 32 to 4128");
  }
  l.buffer_end = kImageHeaderSize + l.image1_size - l.block_size;
  l.restore_offset = kHdrExtentMap + l.extent_map_size;
  l.restore_bytes = restore_pages * kPage;
  if (restore_pages == 0) return Refuse(reason, "no restore code");
  if (LoadLe32(h + kHdrRestoreEntryOffset) >= l.restore_bytes) {
    return Refuse(reason, "restore-code entry outside the restore code");
  }
  l.preview_start = l.restore_offset + l.restore_bytes;
  l.preview_end = kImageHeaderSize + l.restore_bytes +
                  RoundUp(l.extent_map_size + UINT64(l.preview_size) - kInlineExtentBytes, l.block_size);
  if (l.preview_start > l.buffer_end || l.preview_end > l.buffer_end) {
    return Refuse(reason, "restore code or preview area past the end of image 1");
  }
  if (l.preview_size && (UINT64(l.preview_offset) + 20 > l.preview_size)) {
    return Refuse(reason, "preview picture outside the preview area");
  }
  UINT64 start = LoadLe64(h + kHdrEncryptStart);
  UINT64 end = LoadLe64(h + kHdrEncryptEnd);
  if (start) {
    if (start < l.block_size || end <= start || end > l.image1_size || (end - start) % 16) {
      return Refuse(reason, "encrypted range outside image 1 or not whole 16-byte blocks");
    }
    l.encrypted = true;
    l.encrypt_start = kImageHeaderSize + start - l.block_size;
    l.encrypt_end = kImageHeaderSize + end - l.block_size;
  }
  *layout = l;
  return EFI_SUCCESS;
}

bool ImageExtentAt(ByteSpan map, UINTN index, ImageExtent* extent) {
  if (index > map.size() / kExtentSize) return false;
  UINT64 start = 0, length = 0;
  if (!map.ReadLe64(index * kExtentSize, &start) || !map.ReadLe64(index * kExtentSize + 8, &length)) return false;
  extent->start = start;
  extent->length = length;
  return true;
}
