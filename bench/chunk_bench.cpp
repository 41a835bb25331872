// Chunk verification on the boot processor (gather across extents, SHA-256, compare, book)
// against OpenSSL hashing the same chunks in place.
#include <benchmark/benchmark.h>
#include <openssl/sha.h>

#include <cstring>
#include <vector>

#include "bench/ratio.h"
#include "verify/chunk_extents.h"
#include "verify/image_verify_job.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"
#include "tools/lib/chunklist.h"

namespace {

constexpr uint32_t kChunkSize = 1024 * 1024;
constexpr size_t kImageSize = 8 * kChunkSize;
constexpr UINT8 kId[12] = {1};

std::vector<uint8_t> Image() {
  std::vector<uint8_t> image(kImageSize);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
  return image;
}

void BM_Chunk_VerifyOneByOne8M_Hearth(benchmark::State& state) {
  TestFirmware fw;
  std::vector<uint8_t> image = Image();
  std::vector<uint8_t> list = ChunkListLayout(image, kChunkSize);
  ChunkListInfo info;
  ChunkListParse(ByteSpan(list.data(), list.size()), &info);
  ImageExtentList* extents = nullptr;
  ExtentListDescribe(image.data(), image.size(), 0xA00000, &extents);
  for (auto _ : state) {
    VerificationJob* job = nullptr;
    JobCreate(kId, ByteSpan(list.data(), list.size()), info, extents, &job);
    JobVerifyPendingOneByOne(job);
    if (job->good != job->chunk_count || job->pending != 0) state.SkipWithError("verification failed");
    JobFree(job);
  }
  PoolFree(extents);
  state.SetBytesProcessed(int64_t(state.iterations()) * kImageSize);
}

void BM_Chunk_VerifyOneByOne8M_OpenSsl(benchmark::State& state) {
  std::vector<uint8_t> image = Image();
  std::vector<uint8_t> list = ChunkListLayout(image, kChunkSize);
  uint8_t digest[SHA256_DIGEST_LENGTH];
  for (auto _ : state) {
    bool good = true;
    for (size_t i = 0; i < kImageSize / kChunkSize; ++i) {
      SHA256(image.data() + i * kChunkSize, kChunkSize, digest);
      good = good && memcmp(digest, list.data() + 36 + i * 36 + 4, sizeof(digest)) == 0;
    }
    if (!good) state.SkipWithError("verification failed");
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * kImageSize);
}

}  // namespace

BENCHMARK(BM_Chunk_VerifyOneByOne8M_Hearth)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Chunk_VerifyOneByOne8M_OpenSsl)->Unit(benchmark::kMillisecond);
HEARTH_BENCH_RATIO(chunk_ratio, "chunk_verify_one_by_one_8m", "BM_Chunk_VerifyOneByOne8M_Hearth",
                   "BM_Chunk_VerifyOneByOne8M_OpenSsl");
