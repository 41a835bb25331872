// The hibernation image as the loader meets it: the header's layout, the extent map walked
// over a disk made of the input, decryption of the stated range and the preview picture. The
// first 512 bytes are the header; the rest is the partition the extents point into.
#include <cstdint>
#include <cstring>
#include <vector>

#include "crypto/aes.h"
#include "hibernate/image_format.h"
#include "hibernate/image_read.h"
#include "hibernate/preview.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {

constexpr uint64_t kBufferLimit = 4u << 20;

struct InputDisk {
  EFI_DISK_IO_PROTOCOL protocol;
  const uint8_t* data;
  size_t size;

  static EFI_STATUS EFIAPI Read(EFI_DISK_IO_PROTOCOL* self, UINT32, UINT64 offset, UINTN length, VOID* buffer) {
    auto* disk = reinterpret_cast<InputDisk*>(self);
    if (offset > disk->size || length > disk->size - offset) return EFI_DEVICE_ERROR;
    std::memcpy(buffer, disk->data + offset, length);
    return EFI_SUCCESS;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kImageHeaderSize) return 0;
  static TestFirmware* fw = new TestFirmware();
  (void)fw;
  ImageLayout layout{};
  if (ImageLayoutFromHeader(ByteSpan(data, kImageHeaderSize), &layout, nullptr) != EFI_SUCCESS) return 0;
  if (layout.buffer_end > kBufferLimit) return 0;
  std::vector<uint8_t> buffer(layout.buffer_end + 4096);
  std::memcpy(buffer.data(), data, kImageHeaderSize);
  InputDisk disk{{0, InputDisk::Read, nullptr}, data + kImageHeaderSize, size - kImageHeaderSize};
  ImageSource source{&disk.protocol, nullptr, 0};
  static const uint8_t key_bytes[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  AesSchedule key{};
  AesDecryptKey(key_bytes, 16, &key);
  ImageReadResult result{};
  if (ReadHibernateImage(source, layout, buffer.data(), buffer.size(), &key, false, ImageReadHooks{}, &result) !=
      EFI_SUCCESS) {
    return 0;
  }
  if (layout.preview_size) {
    ByteSpan picture(buffer.data() + layout.preview_start + layout.preview_offset,
                     layout.preview_size - layout.preview_offset);
    PreviewHeader header{};
    if (PreviewParseHeader(picture, &header) == EFI_SUCCESS && uint64_t(header.width) * header.height <= (1u << 20)) {
      std::vector<uint32_t> pixels(size_t(header.width) * header.height);
      PreviewDecode(picture, 0, (size & 1) != 0, (size & 2) != 0, reinterpret_cast<uint8_t*>(pixels.data()),
                    header.width * 4);
      std::vector<uint16_t> ramps(3 * kPreviewRampEntries);
      PreviewGammaRamps(picture, ramps.data());
    }
  }
  return 0;
}
