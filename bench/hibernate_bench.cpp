// Resume of a 256 MiB encrypted hibernation image: hearth reads it extent by extent from a
// memory-backed Disk I/O and decrypts the whole range with AES-128-CBC as the pieces arrive;
// the peer copies the same bytes and decrypts them with OpenSSL's AES-128-CBC.
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/ratio.h"
#include "crypto/aes.h"
#include "crypto/processor_features.h"
#include "efi/efi.h"
#include "hibernate/image_format.h"
#include "hibernate/image_read.h"
#include "hw/fake/hw_fake.h"
#include "testfw/memory_disk_io.h"
#include "testfw/test_firmware.h"
#include "tools/lib/hibernate_image.h"

namespace {

constexpr size_t kImageBytes = 256u << 20;

struct Fixture {
  HibernateImageDescription description;
  HibernateImage image;
  ImageLayout layout{};
  std::vector<uint8_t> partition;

  Fixture() {
    description.block_size = 4096;
    description.file_offset = 0;
    description.extents = 8;
    description.gap = 0;
    description.restore_code.assign(4096, 0x90);
    description.memory.assign(kImageBytes, 0);
    for (size_t i = 0; i < kImageBytes; i += 64) description.memory[i] = uint8_t(i >> 6);
    description.encrypt = true;
    for (int i = 0; i < 16; ++i) description.key[i] = uint8_t(i * 17);
    std::string error;
    BuildHibernateImage(description, &image, &error);
    image.PlaceOn(&partition);
    ImageLayoutFromHeader(ByteSpan(image.file.data(), 512), &layout, nullptr);
  }
};

Fixture& Shared() {
  static Fixture* fixture = new Fixture();
  return *fixture;
}

void BM_Hibernate_ReadDecrypt_Hearth(benchmark::State& state) {
  Fixture& f = Shared();
  TestFirmware fw;  // resets the hardware fake: the processor's features are read after it
  CryptoRecordProcessorFeatures();
  MemoryDiskIo disk(f.partition, 4096);
  ImageSource source{};
  EFI_BLOCK_IO_PROTOCOL* block = nullptr;
  gBS->HandleProtocol(disk.Handle(), &kEfiDiskIoProtocolGuid, reinterpret_cast<void**>(&source.disk_io));
  gBS->HandleProtocol(disk.Handle(), &kEfiBlockIoProtocolGuid, reinterpret_cast<void**>(&block));
  source.media_id = block->Media->MediaId;
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[f.layout.buffer_end + 4096]);
  std::memset(buffer.get(), 0, f.layout.buffer_end + 4096);  // first-touch page faults stay out of the timing
  std::memcpy(buffer.get(), f.image.file.data(), 512);
  AesSchedule key{};
  AesDecryptKey(f.description.key, 16, &key);
  for (auto _ : state) {
    ImageReadResult result{};
    if (ReadHibernateImage(source, f.layout, buffer.get(), f.layout.buffer_end + 4096, &key, true, ImageReadHooks{},
                           &result) != EFI_SUCCESS) {
      state.SkipWithError("read failed");
    }
    benchmark::DoNotOptimize(result);
  }
  if (std::memcmp(buffer.get() + f.layout.buffer_end - 4096, f.image.LoaderView().data() + f.layout.buffer_end - 4096,
                  4096) != 0) {
    state.SkipWithError("decrypted bytes differ");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.image.file.size()));
}

void BM_Hibernate_ReadDecrypt_OpenSsl(benchmark::State& state) {
  Fixture& f = Shared();
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[f.layout.buffer_end + 4096]);
  std::memset(buffer.get(), 0, f.layout.buffer_end + 4096);
  uint64_t start = f.layout.encrypt_start, end = f.layout.encrypt_end;
  for (auto _ : state) {
    // The same bytes arrive extent by extent, then one CBC pass over the range.
    uint64_t done = 512;
    for (size_t i = 0; i < f.image.extents.size(); ++i) {
      uint64_t from = f.image.extents[i].start, length = f.image.extents[i].length;
      if (i == 0) from += 4096, length -= 4096;
      std::memcpy(buffer.get() + done, f.partition.data() + from, length);
      done += length;
    }
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    int out = 0;
    EVP_DecryptInit_ex(ctx, EVP_aes_128_cbc(), nullptr, f.description.key, kImageInitialVector);
    EVP_CIPHER_CTX_set_padding(ctx, 0);
    EVP_DecryptUpdate(ctx, buffer.get() + start, &out, buffer.get() + start, int(end - start));
    EVP_CIPHER_CTX_free(ctx);
    benchmark::DoNotOptimize(buffer.get()[start]);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(f.image.file.size()));
}

}  // namespace

BENCHMARK(BM_Hibernate_ReadDecrypt_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hibernate_ReadDecrypt_OpenSsl)->Unit(benchmark::kMillisecond);
HEARTH_BENCH_RATIO(hibernate_read_ratio, "hibernate_read_decrypt", "BM_Hibernate_ReadDecrypt_Hearth",
                   "BM_Hibernate_ReadDecrypt_OpenSsl");
