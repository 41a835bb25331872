#include "verify/image_verify_job.h"

#include "verify/chunk_extents.h"
#include "crypto/sha256.h"
#include "memory/memory.h"
#include "lib/mem.h"

UINT8 ChunkStateLoad(const UINT8* state) { return __atomic_load_n(state, __ATOMIC_ACQUIRE); }
void ChunkStateStore(UINT8* state, UINT8 value) { __atomic_store_n(state, value, __ATOMIC_RELEASE); }

EFI_STATUS JobCreate(const UINT8* id, ByteSpan list, const ChunkListInfo& info, const ImageExtentList* image,
                     VerificationJob** out) {
  if (!ExtentListCoversImage(image) || ChunkListTotalSize(list, info) != image->TotalSize) {
    return EFI_VOLUME_CORRUPTED;
  }
  auto* job = static_cast<VerificationJob*>(PoolAllocateZero(sizeof(VerificationJob)));
  if (!job) return EFI_OUT_OF_RESOURCES;
  UINTN records = static_cast<UINTN>(info.chunk_count) * sizeof(ChunkRecord);
  job->chunks = static_cast<ChunkRecord*>(PoolAllocateZero(records ? records : 1));
  if (!job->chunks) {
    PoolFree(job);
    return EFI_OUT_OF_RESOURCES;
  }
  MemCopy(job->id, id, kImageVerificationIdSize);
  job->chunk_list = list.data();
  job->chunk_list_size = list.size();
  job->image = image;
  job->chunk_count = job->pending = job->good = info.chunk_count;
  UINT64 offset = 0;
  for (UINT64 i = 0; i < info.chunk_count; ++i) {
    UINT32 size = 0;
    const UINT8* digest = nullptr;
    ChunkListEntry(list, info, i, &size, &digest);
    ChunkRecord& c = job->chunks[i];
    c.offset = offset;
    c.size = size;
    MemCopy(c.digest, digest, kChunkDigestSize);
    c.number = i;
    c.state = kChunkQueued;
    offset += size;
  }
  *out = job;
  return EFI_SUCCESS;
}

void JobFree(VerificationJob* job) {
  if (!job) return;
  if (job->slots) {
    for (UINTN i = 0; i < job->ap_count; ++i) PoolFree(job->slots[i].buffer);
    PoolFree(job->slots);
  }
  PoolFree(job->chunks);
  PoolFree(job);
}

void JobReport(VerificationJob* job, const ChunkRecord* chunk, EFI_STATUS status) {
  if (!job->callback) return;
  ImageVerificationResult result = {};
  MemCopy(result.Identifier, job->id, kImageVerificationIdSize);
  result.ChunkNumber = chunk->number;
  result.Offset = chunk->offset;
  result.Size = chunk->size;
  result.Status = status;
  job->callback(job->callback_context, &result);
}

EFI_STATUS JobVerifyChunk(VerificationJob* job, ChunkRecord* chunk) {
  auto* buffer = static_cast<UINT8*>(PoolAllocate(chunk->size ? static_cast<UINTN>(chunk->size) : 1));
  if (!buffer) return EFI_OUT_OF_RESOURCES;
  UINT8 digest[kSha256DigestSize];
  EFI_STATUS status = ExtentListGather(job->image, chunk->offset, chunk->size, buffer);
  if (!EFI_ERROR(status)) Sha256(buffer, static_cast<size_t>(chunk->size), digest);
  PoolFree(buffer);
  --job->pending;
  if (!EFI_ERROR(status) && MemCompare(digest, chunk->digest, kChunkDigestSize) == 0) {
    ChunkStateStore(&chunk->state, kChunkQueued | kChunkVerified);
    JobReport(job, chunk, EFI_SUCCESS);
    return EFI_SUCCESS;
  }
  ChunkStateStore(&chunk->state, 0);
  --job->good;
  JobReport(job, chunk, EFI_SECURITY_VIOLATION);
  return EFI_ACCESS_DENIED;
}

void JobVerifyPendingOneByOne(VerificationJob* job) {
  for (UINT64 i = 0; i < job->chunk_count && job->pending > 0; ++i) {
    ChunkRecord* chunk = &job->chunks[i];
    if (chunk->in_slot || ChunkStateLoad(&chunk->state) != kChunkQueued) continue;
    if (EFI_ERROR(JobVerifyChunk(job, chunk))) return;
  }
}

ChunkRecord* JobChunkAt(VerificationJob* job, UINT64 offset) {
  UINT64 low = 0, high = job->chunk_count;
  while (low < high) {  // the last chunk whose offset is not above offset
    UINT64 mid = low + (high - low) / 2;
    if (job->chunks[mid].offset <= offset) low = mid + 1; else high = mid;
  }
  if (low == 0) return nullptr;
  ChunkRecord* chunk = &job->chunks[low - 1];
  return offset - chunk->offset < chunk->size ? chunk : nullptr;
}

bool JobFirstMissingRun(const VerificationJob* job, UINT64* first, UINT64* last) {
  UINT64 i = 0;
  while (i < job->chunk_count && ChunkStateLoad(&job->chunks[i].state) != 0) ++i;
  if (i == job->chunk_count) return false;
  *first = i;
  while (i + 1 < job->chunk_count && ChunkStateLoad(&job->chunks[i + 1].state) == 0) ++i;
  *last = i;
  return true;
}
