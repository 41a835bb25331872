// Reads image 1 from the disk blocks of the image file, extent by extent, and decrypts its
// encrypted range as the bytes arrive. With the optional block-read protocol the next
// transfer runs while the previous data is decrypted.
#pragma once

#include "crypto/aes.h"
#include "efi/efi.h"
#include "efi/protocols/block_io.h"
#include "efi/protocols/tarn_block_read.h"
#include "hibernate/image_format.h"

constexpr UINTN kImageReadPiece = 1024 * 1024;
constexpr UINTN kImageDecryptPiece = 128 * 1024;

struct ImageSource {
  EFI_DISK_IO_PROTOCOL* disk_io;
  TarnBlockReadProtocol* block_read;  // optional
  UINT32 media_id;
};

struct ImageReadHooks {
  void* context = nullptr;
  // After each read, with the image bytes read so far (header block included).
  void (*progress)(void* context, UINT64 bytes_read) = nullptr;
  // Once the preview area is read and decrypted; called after each read until it returns
  // true, and a last time with final set when the read ends first.
  bool (*preview_ready)(void* context, bool final) = nullptr;
};

struct ImageReadResult {
  UINT64 bytes_read;       // image bytes, header block included
  UINT64 encrypted_bytes;  // bytes decrypted
  UINT8 chaining_value[16];  // the last ciphertext block of the encrypted range
};

// image: capacity bytes, the 512-byte header already at its start (the layout came from it).
// key: the decryption schedule, required when the layout is encrypted. raise_tpl runs the
// decryption at the highest task priority (the Disk I/O path). A read error, a map that ends
// before image 1 does, or a transfer that the block-read protocol cannot do ends the read with
// an error; the image is then incomplete.
EFI_STATUS ReadHibernateImage(const ImageSource& source, const ImageLayout& layout, UINT8* image, UINT64 capacity,
                              const AesSchedule* key, bool raise_tpl, const ImageReadHooks& hooks,
                              ImageReadResult* result);
