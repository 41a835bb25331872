#include "hibernate/image_read.h"

#include "diag/log.h"
#include "lib/mem.h"

namespace {

// A transfer still running after this long is given up: the device no longer answers, and
// waiting on would hang the machine where a failed read restarts it.
constexpr UINT64 kBlockReadTimeLimitUs = 5'000'000;
constexpr UINTN kBlockReadPollUs = 10;

// The encrypted range, decrypted in place as its bytes become complete.
struct Decryptor {
  const AesSchedule* key;
  UINT8* image;
  UINT64 start, end;  // image buffer offsets
  UINT64 done;        // decrypted up to here
  UINT8 chain[16];
  bool raise_tpl;

  void Run(UINT64 available) {
    if (!key || done >= end) return;
    UINT64 limit = available < end ? available : end;
    if (limit <= done) return;
    UINT64 bytes = (limit - done) & ~UINT64(15);
    if (!bytes) return;
    EFI_TPL old = raise_tpl ? gBS->RaiseTPL(TPL_HIGH_LEVEL) : 0;
    while (bytes) {
      UINT64 piece = bytes < kImageDecryptPiece ? bytes : kImageDecryptPiece;
      UINT8* at = image + done;
      UINT8 next[16];
      MemCopy(next, at + piece - 16, 16);
      AesCbcDecrypt(at, chain, piece / 16, at, key);
      MemCopy(chain, next, 16);
      done += piece;
      bytes -= piece;
    }
    if (raise_tpl) gBS->RestoreTPL(old);
  }
};

struct Reader {
  const ImageSource& source;
  const ImageLayout& layout;
  UINT8* image;
  UINT64 capacity;
  UINT64 done;  // image buffer offset reached

  EFI_STATUS ReadDisk(UINT64 position, UINT64 size) {
    EFI_STATUS status = source.disk_io->ReadDisk(source.disk_io, source.media_id, position, size, image + done);
    if (EFI_ERROR(status)) {
      LogMessage(0x80000000u, "!Read(%lx) %lx, %lx, %p\n", status, position, size, image + done);
    }
    return status;
  }

  EFI_STATUS StartBlockRead(UINT64 position, UINT64 size) {
    UINT64 block = (position + layout.device_base) / layout.block_size;
    EFI_STATUS status = EFI_INVALID_PARAMETER;
    if ((position + layout.device_base) % layout.block_size == 0 && size % layout.block_size == 0) {
      status = source.block_read->Read(source.block_read, source.media_id, block, size, image + done);
    }
    if (EFI_ERROR(status)) {
      LogMessage(0x80000000u, "!Read(%lx) %lx, %lx, %lx, %p\n", status, position, block, size, image + done);
    }
    return status;
  }

  EFI_STATUS WaitForBlockRead() {
    for (UINT64 waited = 0; source.block_read->Busy(source.block_read); waited += kBlockReadPollUs) {
      if (waited >= kBlockReadTimeLimitUs) {
        LogMessage(0x80000000u, "!Read timed out\n");
        return EFI_TIMEOUT;
      }
      gBS->Stall(kBlockReadPollUs);
    }
    return EFI_SUCCESS;
  }
};

// Whether the preview area is complete in the buffer: read, and decrypted where encrypted.
bool PreviewComplete(const ImageLayout& layout, const Decryptor& crypt, UINT64 done) {
  if (done < layout.preview_end) return false;
  if (!layout.encrypted || layout.encrypt_start >= layout.preview_end) return true;
  UINT64 needed = layout.preview_end < layout.encrypt_end ? layout.preview_end : layout.encrypt_end;
  return crypt.done >= needed;
}

}  // namespace

EFI_STATUS ReadHibernateImage(const ImageSource& source, const ImageLayout& layout, UINT8* image, UINT64 capacity,
                              const AesSchedule* key, bool raise_tpl, const ImageReadHooks& hooks,
                              ImageReadResult* result) {
  MemZero(result, sizeof(*result));
  if (layout.encrypted && !key) return EFI_SECURITY_VIOLATION;
  if (layout.buffer_end > capacity) return EFI_BUFFER_TOO_SMALL;
  Decryptor crypt{layout.encrypted ? key : nullptr, image, layout.encrypt_start, layout.encrypt_end,
                  layout.encrypt_start, {}, raise_tpl && !source.block_read};
  MemCopy(crypt.chain, kImageInitialVector, 16);
  Reader reader{source, layout, image, capacity, kImageHeaderSize};
  bool preview_handled = hooks.preview_ready == nullptr;
  EFI_STATUS status = EFI_SUCCESS;

  for (UINTN index = 0; reader.done < layout.buffer_end && !EFI_ERROR(status); ++index) {
    // Extents past the inline two come from the part of the map read with the first extent.
    UINT64 map_end = kHdrExtentMap + (index + 1) * kExtentSize;
    ImageExtent extent{};
    if (map_end > kHdrExtentMap + layout.extent_map_size || map_end > reader.done ||
        !ImageExtentAt(ByteSpan(image + kHdrExtentMap, layout.extent_map_size), index, &extent)) {
      status = EFI_END_OF_FILE;
      break;
    }
    if (index == 0) {
      if (extent.length < layout.block_size) {
        status = EFI_VOLUME_CORRUPTED;
        break;
      }
      extent.start += layout.block_size;
      extent.length -= layout.block_size;
    }
    while (extent.length && reader.done < layout.buffer_end) {
      UINT64 size = layout.buffer_end - reader.done;
      if (size > kImageReadPiece) size = kImageReadPiece;
      if (size > extent.length) size = extent.length;
      if (!preview_handled && reader.done < layout.preview_end && size > layout.preview_end - reader.done) {
        size = layout.preview_end - reader.done;
      }
      if (source.block_read) {
        // Whole blocks only; the buffer has room past image 1 for a rounded last read.
        UINT64 rounded = (size + layout.block_size - 1) / layout.block_size * layout.block_size;
        if (rounded <= extent.length && reader.done + rounded <= capacity) size = rounded;
        status = reader.StartBlockRead(extent.start, size);
        if (EFI_ERROR(status)) break;
        crypt.Run(reader.done);  // earlier data while the transfer runs
        status = reader.WaitForBlockRead();
        if (EFI_ERROR(status)) break;
      } else {
        status = reader.ReadDisk(extent.start, size);
        if (EFI_ERROR(status)) break;
      }
      reader.done += size;
      if (reader.done > layout.buffer_end) reader.done = layout.buffer_end;
      extent.start += size;
      extent.length -= size;
      if (hooks.progress) hooks.progress(hooks.context, reader.done - kImageHeaderSize + layout.block_size);
      crypt.Run(reader.done);
      if (!preview_handled && PreviewComplete(layout, crypt, reader.done)) {
        preview_handled = hooks.preview_ready(hooks.context, false);
      }
    }
  }
  if (!EFI_ERROR(status) && !preview_handled) hooks.preview_ready(hooks.context, true);
  result->bytes_read = reader.done - kImageHeaderSize + layout.block_size;
  result->encrypted_bytes = crypt.done - crypt.start;
  MemCopy(result->chaining_value, crypt.chain, 16);
  return status;
}
