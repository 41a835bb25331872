#include "tools/lib/hibernate_image.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "crypto/crc32.h"
#include "hibernate/image_format.h"

namespace {

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
}
void Put64(std::vector<uint8_t>& v, size_t at, uint64_t x) {
  for (int i = 0; i < 8; ++i) v[at + i] = uint8_t(x >> (8 * i));
}
uint32_t Get32(const std::vector<uint8_t>& v, size_t at) {
  uint32_t x = 0;
  for (int i = 3; i >= 0; --i) x = x << 8 | v[at + i];
  return x;
}
uint64_t Get64(const std::vector<uint8_t>& v, size_t at) { return Get32(v, at) | uint64_t(Get32(v, at + 4)) << 32; }
uint64_t RoundUp(uint64_t x, uint64_t unit) { return (x + unit - 1) / unit * unit; }

bool CbcEncrypt(const uint8_t key[16], uint8_t* data, size_t size) {
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int out = 0;
  bool ok = ctx && EVP_EncryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, key, kImageInitialVector) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx, 0) == 1 && EVP_EncryptUpdate(ctx, data, &out, data, int(size)) == 1;
  EVP_CIPHER_CTX_free(ctx);
  return ok && size_t(out) == size;
}

}  // namespace

bool BuildHibernateImage(const HibernateImageDescription& d, HibernateImage* image, std::string* error) {
  const uint64_t block = d.block_size;
  if (block < 512 || (block & (block - 1)) || d.extents == 0 || d.file_offset % block || d.gap % block) {
    *error = "block size must be a power of two of at least 512; offsets and gaps whole blocks";
    return false;
  }
  uint64_t map_size = std::max<uint64_t>(32, uint64_t(d.extents) * 16);
  if (map_size > kExtentMapMaxSize) {
    *error = "at most 258 extents fit the extent map";
    return false;
  }
  uint64_t restore_bytes = RoundUp(std::max<size_t>(d.restore_code.size(), 1), 4096);
  uint64_t preview_size = d.preview.empty() ? 0 : RoundUp(d.preview_offset + d.preview.size(), 16);
  uint64_t restore_at = block + map_size - 32;  // file offsets
  uint64_t preview_at = restore_at + restore_bytes;
  uint64_t preview_end = block + restore_bytes + RoundUp(map_size + preview_size - 32, block);
  uint64_t size = RoundUp(preview_end + d.memory.size(), block);

  std::vector<uint8_t> file(size, 0);
  std::copy(d.restore_code.begin(), d.restore_code.end(), file.begin() + restore_at);
  std::copy(d.preview.begin(), d.preview.end(), file.begin() + preview_at + d.preview_offset);
  std::copy(d.memory.begin(), d.memory.end(), file.begin() + preview_end);

  // Pieces of whole blocks, the last one taking the remainder. The first piece (the header)
  // sits at the file offset; the others follow it back to front, so that file order and disk
  // order differ.
  std::vector<HibernateExtent> extents;
  uint64_t piece = RoundUp((size + d.extents - 1) / d.extents, block);
  uint64_t pieces = (size + piece - 1) / piece;
  uint64_t cursor = d.file_offset;
  std::vector<uint64_t> starts(pieces);
  starts[0] = cursor;
  cursor += std::min(piece, size) + d.gap;
  for (uint64_t i = pieces; i-- > 1;) {
    starts[i] = cursor;
    cursor += std::min(piece, size - i * piece) + d.gap;
  }
  for (uint64_t i = 0; i < pieces; ++i) extents.push_back({starts[i], std::min(piece, size - i * piece)});
  if (map_size < extents.size() * 16 || (extents.size() > 2 && extents[0].length < block + map_size - 32)) {
    *error = "the first piece must hold the header block and the extent map";
    return false;
  }

  std::vector<uint8_t>& h = file;
  Put64(h, kHdrImage1Size, size);
  Put32(h, kHdrRestorePage, d.restore_page);
  Put64(h, kHdrRestoreIndexBase, d.restore_index_base);
  Put32(h, kHdrRestorePageCount, uint32_t(restore_bytes / 4096));
  Put32(h, kHdrRestoreEntryOffset, d.restore_entry);
  Put32(h, kHdrSignature, d.signature);
  Put32(h, kHdrRuntimePages, d.runtime_page);
  Put32(h, kHdrRuntimePageCount, d.runtime_pages);
  Put64(h, kHdrRuntimeVirtualPages, d.runtime_virtual_page);
  Put32(h, kHdrPerfDataStart, d.perf_start);
  Put32(h, kHdrPerfDataSize, d.perf_size);
  Put64(h, kHdrMachineSignature, d.machine_signature);
  Put32(h, kHdrPreviewSize, uint32_t(preview_size));
  Put32(h, kHdrPreviewOffset, d.preview_offset);
  Put32(h, kHdrOptions, d.options);
  Put32(h, kHdrSleepTime, d.sleep_time);
  Put64(h, kHdrDeviceBase, d.device_base);
  Put32(h, kHdrDeviceBlockSize, d.block_size);
  Put32(h, kHdrExtentMapSize, uint32_t(map_size));
  for (size_t i = 0; i < extents.size(); ++i) {
    size_t at = i < 2 ? kHdrExtentMap + i * 16 : block + (i - 2) * 16;
    Put64(h, at, extents[i].start);
    Put64(h, at + 8, extents[i].length);
  }
  uint64_t enc_start = d.encrypt_start ? d.encrypt_start : preview_at;
  uint64_t enc_end = d.encrypt_end ? d.encrypt_end : size;
  if (d.probe_expectations && d.encrypt && enc_start < preview_at) {
    *error = "the restore-code probe needs the restore code outside the encrypted range";
    return false;
  }
  image->plain = file;
  if (d.encrypt) {
    uint64_t start = d.encrypt_start ? d.encrypt_start : preview_at;
    uint64_t end = d.encrypt_end ? d.encrypt_end : size;
    if (start < block + map_size - 32 || end > size || end <= start || (end - start) % 16) {
      *error = "encrypted range must lie after the extent map, inside the image, in whole 16-byte blocks";
      return false;
    }
    Put64(h, kHdrEncryptStart, start);
    Put64(h, kHdrEncryptEnd, end);
    Put64(image->plain, kHdrEncryptStart, start);
    Put64(image->plain, kHdrEncryptEnd, end);
    if (!CbcEncrypt(d.key, file.data() + start, end - start)) {
      *error = "OpenSSL refused the encryption";
      return false;
    }
  }
  if (d.probe_expectations) {
    // After the encryption: the restore code stays plain, so the block changes no ciphertext.
    size_t at = restore_at + restore_bytes - 64;
    for (std::vector<uint8_t>* v : {&file, &image->plain}) {
      std::memcpy(v->data() + at, "HEXP", 4);
      Put32(*v, at + 4, (d.expect_key_store ? 1u : 0u) | (d.encrypt ? 2u : 0u) | (d.probe_waits_for_key ? 4u : 0u) |
                         (d.perf_start && d.perf_size ? 8u : 0u));
      if (d.encrypt) std::memcpy(v->data() + at + 8, file.data() + enc_end - 16, 16);
      else std::memcpy(v->data() + at + 8, kImageInitialVector, 16);
      Put32(*v, at + 24, Crc32(0, image->plain.data() + preview_at, size - preview_at));
      Put32(*v, at + 28, d.options);
      Put32(*v, at + 32, d.expected_wake_reason);
    }
  }
  image->file = std::move(file);
  image->extents = extents;
  image->header_offset = extents[0].start;
  image->partition_size = cursor;
  return true;
}

std::vector<uint8_t> HibernateImage::LoaderView() const {
  uint64_t block = Get32(plain, kHdrDeviceBlockSize);
  std::vector<uint8_t> view(plain.begin(), plain.begin() + 512);
  view.insert(view.end(), plain.begin() + block, plain.end());
  return view;
}

void HibernateImage::PlaceOn(std::vector<uint8_t>* partition) const {
  if (partition->size() < partition_size) partition->resize(partition_size, 0);
  uint64_t at = 0;
  for (const HibernateExtent& e : extents) {
    std::copy(file.begin() + at, file.begin() + at + e.length, partition->begin() + e.start);
    at += e.length;
  }
}

std::vector<uint8_t> HibernateVarsRecord(const uint8_t key[16], const uint8_t boot_signature[20]) {
  std::vector<uint8_t> record(44, 0);
  std::memcpy(record.data(), "TARN", 4);
  Put32(record, 4, 1);
  if (boot_signature) std::memcpy(record.data() + 8, boot_signature, 20);
  std::memcpy(record.data() + 28, key, 16);
  return record;
}

std::string BootImageText(uint64_t header_offset, const std::string& volume_uuid) {
  char text[32];
  std::snprintf(text, sizeof(text), "%llx", static_cast<unsigned long long>(header_offset));
  return volume_uuid.empty() ? std::string(text) : std::string(text) + ":" + volume_uuid;
}

std::vector<uint8_t> EncodePreview(uint32_t width, uint32_t height, const std::vector<uint32_t>& pixels,
                                   uint32_t lock_time) {
  std::vector<uint8_t> out(84 + size_t(height) * 4, 0);
  Put32(out, 0, 1);
  Put32(out, 4, width);
  Put32(out, 8, height);
  Put32(out, 12, 32);
  Put32(out, 16, lock_time);
  for (int table = 0; table < 3; ++table) {
    for (int i = 0; i < 256; ++i) out.push_back(uint8_t(i));
  }
  auto push32 = [&](uint32_t x) {
    size_t at = out.size();
    out.resize(at + 4);
    Put32(out, at, x);
  };
  for (uint32_t y = 0; y < height; ++y) {
    Put32(out, 84 + y * 4, uint32_t(out.size()));
    uint32_t x = 0;
    while (x < width) {
      uint32_t run = 1;
      const uint32_t* row = pixels.data() + size_t(y) * width;
      while (x + run < width && row[x + run] == row[x]) ++run;
      if (run >= 3) {
        push32(0x01000000u | run);
        push32(row[x]);
      } else {
        // A literal run up to the next repeat of three.
        uint32_t end = x;
        while (end < width && !(end + 2 < width && row[end] == row[end + 1] && row[end] == row[end + 2])) ++end;
        if (end == x) end = x + 1;
        push32(end - x);
        for (uint32_t i = x; i < end; ++i) push32(row[i]);
        run = end - x;
      }
      x += run;
    }
  }
  return out;
}

void ExplainHibernateImage(const std::vector<uint8_t>& bytes, uint64_t header_offset, std::string* text,
                           std::vector<std::string>* refusals) {
  char line[256];
  if (header_offset > bytes.size() || bytes.size() - header_offset < 512) {
    refusals->push_back("no 512-byte header at the given offset");
    return;
  }
  std::vector<uint8_t> h(bytes.begin() + header_offset, bytes.begin() + header_offset + 512);
  uint32_t signature = Get32(h, kHdrSignature);
  const char* kind = signature == kImageSignatureValid    ? "valid image"
                     : signature == kImageSignatureOpen   ? "image still open"
                     : signature == kImageSignatureDebugData ? "debug data stored by the loader"
                                                          : "unknown";
  auto add = [&](const char* format, auto... values) {
    std::snprintf(line, sizeof(line), format, values...);
    *text += line;
  };
  add("signature            0x%08x (%s)\n", signature, kind);
  add("image-1 size         %llu bytes\n", (unsigned long long)Get64(h, kHdrImage1Size));
  add("device block size    %u, device base 0x%llx\n", Get32(h, kHdrDeviceBlockSize),
      (unsigned long long)Get64(h, kHdrDeviceBase));
  add("restore code         page 0x%x, %u pages, entry +0x%x, index base %llu\n", Get32(h, kHdrRestorePage),
      Get32(h, kHdrRestorePageCount), Get32(h, kHdrRestoreEntryOffset),
      (unsigned long long)Get64(h, kHdrRestoreIndexBase));
  add("runtime pages        page 0x%x, %u pages, virtual page 0x%llx\n", Get32(h, kHdrRuntimePages),
      Get32(h, kHdrRuntimePageCount), (unsigned long long)Get64(h, kHdrRuntimeVirtualPages));
  add("performance area     0x%x, %u bytes\n", Get32(h, kHdrPerfDataStart), Get32(h, kHdrPerfDataSize));
  add("preview              %u bytes at +%u\n", Get32(h, kHdrPreviewSize), Get32(h, kHdrPreviewOffset));
  add("encrypted range      0x%llx .. 0x%llx\n", (unsigned long long)Get64(h, kHdrEncryptStart),
      (unsigned long long)Get64(h, kHdrEncryptEnd));
  add("machine signature    0x%llx\n", (unsigned long long)Get64(h, kHdrMachineSignature));
  add("options              0x%x, sleep time %u\n", Get32(h, kHdrOptions), Get32(h, kHdrSleepTime));
  uint32_t map_size = Get32(h, kHdrExtentMapSize);
  add("extent map           %u bytes\n", map_size);
  uint32_t block = Get32(h, kHdrDeviceBlockSize);
  for (uint32_t i = 0; i * 16 < map_size && map_size <= kExtentMapMaxSize; ++i) {
    uint64_t at = i < 2 ? header_offset + kHdrExtentMap + i * 16 : header_offset + block + (i - 2) * 16;
    if (at + 16 > bytes.size()) {
      refusals->push_back("extent map runs past the end of the file");
      break;
    }
    std::vector<uint8_t> e(bytes.begin() + at, bytes.begin() + at + 16);
    add("  extent %-3u         0x%llx + 0x%llx\n", i, (unsigned long long)Get64(e, 0), (unsigned long long)Get64(e, 8));
  }
  if (signature != kImageSignatureValid) refusals->push_back("signature is not 0x73696d65: no resume");
  ImageLayout layout{};
  const char* reason = nullptr;
  if (ImageLayoutFromHeader(ByteSpan(h.data(), h.size()), &layout, &reason) != EFI_SUCCESS) {
    refusals->push_back(reason);
  }
}
