// The booter's own image verification service: the twelve operations over a list of jobs.
#include "verify/chunk_signature.h"
#include "verify/image_verify.h"
#include "verify/image_verify_job.h"
#include "diag/log.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "lib/host_reset.h"
#include "lib/mem.h"

namespace {


struct ServiceState {
  bool set_up;
  ImageVerifyProcessors processors;
  VerificationJob* jobs;
};
ServiceState gService = {};

void ResetService() { gService = {}; }
HEARTH_HOST_RESET(ResetService);

void SetUpProcessors() {
  gService.set_up = true;
  gService.processors = {};
  EFI_MP_SERVICES_PROTOCOL* mp = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kEfiMpServiceProtocolGuid, nullptr, reinterpret_cast<void**>(&mp))) || !mp) {
    return;
  }
  UINTN count = 0, enabled = 0, bsp = 0;
  if (EFI_ERROR(mp->GetNumberOfProcessors(mp, &count, &enabled)) || count < 2) return;
  if (EFI_ERROR(mp->WhoAmI(mp, &bsp)) || bsp >= count) return;
  gService.processors = ImageVerifyProcessors{mp, count - 1, bsp};
  LogMessage(kLogCategoryError, "Image verification: hashing on %d application processors\n", count - 1);
}

VerificationJob* FindJob(const UINT8* id) {
  if (!id) return nullptr;
  for (VerificationJob* job = gService.jobs; job; job = job->next) {
    if (MemCompare(job->id, id, kImageVerificationIdSize) == 0) return job;
  }
  return nullptr;
}

void Unlink(VerificationJob* job) {
  for (VerificationJob** link = &gService.jobs; *link; link = &(*link)->next) {
    if (*link == job) {
      *link = job->next;
      return;
    }
  }
}

// Frees a job unless processors still write into its memory (then it is left to them).
bool Release(VerificationJob* job) {
  Unlink(job);
  if (job->dispatch_event || job->timer_event) {
    if (!JobStopParallel(job)) return false;
  }
  JobFree(job);
  return true;
}

EFI_STATUS EFIAPI Start(TIVP*, const UINT8* id, const VOID* list, UINTN list_size, const ImageExtentList* image) {
  if (!id || !list || !image) return EFI_INVALID_PARAMETER;
  if (FindJob(id)) return EFI_ALREADY_STARTED;
  ByteSpan span(list, list_size);
  ChunkListInfo info;
  EFI_STATUS status = ChunkListParse(span, &info);
  if (!EFI_ERROR(status)) status = ChunkListVerifySignature(span, info);
  VerificationJob* job = nullptr;
  if (!EFI_ERROR(status)) status = JobCreate(id, span, info, image, &job);
  if (EFI_ERROR(status)) return status;
  job->next = gService.jobs;
  gService.jobs = job;
  if (!gService.set_up) SetUpProcessors();
  if (!gService.processors.mp || EFI_ERROR(JobStartParallel(job, gService.processors))) {
    job->one_by_one_now = job->one_by_one_always = true;
    JobVerifyPendingOneByOne(job);
  }
  return EFI_SUCCESS;
}

// The operations run at TPL_CALLBACK (RaisedTpl), so that the dispatch and timer callbacks
// stay out while they read or book counts.
EFI_STATUS EFIAPI Status(TIVP*, const UINT8* id, UINT64* count, UINT64* pending, UINT64* good) {
  RaisedTpl guard(TPL_CALLBACK);
  VerificationJob* job = FindJob(id);
  if (!job) return EFI_NOT_FOUND;
  if (count) *count = job->chunk_count;
  if (pending) *pending = job->pending;
  if (good) *good = job->good;
  return job->pending == 0 && job->good == job->chunk_count ? EFI_SUCCESS : EFI_NOT_READY;
}

EFI_STATUS EFIAPI FirstMissingChunks(TIVP*, const UINT8* id, UINT64* first, UINT64* last) {
  RaisedTpl guard(TPL_CALLBACK);
  VerificationJob* job = FindJob(id);
  if (!job) return EFI_NOT_FOUND;
  if (!first || !last) return EFI_INVALID_PARAMETER;
  return JobFirstMissingRun(job, first, last) ? EFI_SUCCESS : EFI_NOT_FOUND;
}

EFI_STATUS EFIAPI FirstMissingBytes(TIVP*, const UINT8* id, UINT64* first_byte, UINT64* last_byte) {
  RaisedTpl guard(TPL_CALLBACK);
  VerificationJob* job = FindJob(id);
  if (!job) return EFI_NOT_FOUND;
  if (!first_byte || !last_byte) return EFI_INVALID_PARAMETER;
  UINT64 first = 0, last = 0;
  if (!JobFirstMissingRun(job, &first, &last)) return EFI_NOT_FOUND;
  *first_byte = job->chunks[first].offset;
  *last_byte = job->chunks[last].offset + job->chunks[last].size - 1;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI QueueChunk(TIVP*, const UINT8* id, UINT64 chunk_offset) {
  RaisedTpl guard(TPL_CALLBACK);
  VerificationJob* job = FindJob(id);
  if (!job) return EFI_NOT_FOUND;
  bool one_by_one = job->one_by_one_now || job->one_by_one_always;
  if (one_by_one) JobVerifyPendingOneByOne(job);
  ChunkRecord* chunk = JobChunkAt(job, chunk_offset);
  if (!chunk) return EFI_INVALID_PARAMETER;
  // Only a missing or bad chunk is queued again: a pending or verified one is counted already.
  if (chunk->in_slot || ChunkStateLoad(&chunk->state) != 0) return EFI_SUCCESS;
  ChunkStateStore(&chunk->state, kChunkQueued);
  ++job->pending;
  ++job->good;
  if (one_by_one) return JobVerifyChunk(job, chunk);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI ChunkEnd(TIVP*, const UINT8* id, UINT64 chunk_offset, UINT64* last_byte, UINT8* use_count) {
  RaisedTpl guard(TPL_CALLBACK);
  VerificationJob* job = FindJob(id);
  if (!job) return EFI_NOT_FOUND;
  ChunkRecord* chunk = JobChunkAt(job, chunk_offset);
  if (!chunk || !last_byte) return EFI_INVALID_PARAMETER;
  *last_byte = chunk->offset + chunk->size - 1;
  if (chunk->use_count < 0xFF) ++chunk->use_count;
  if (use_count) *use_count = chunk->use_count;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI TotalSize(TIVP*, const VOID* list, UINTN list_size, UINT64* size) {
  ChunkListInfo info;
  ByteSpan span(list, list_size);
  if (!list || !size) return EFI_INVALID_PARAMETER;
  EFI_STATUS status = ChunkListParse(span, &info);
  if (!EFI_ERROR(status)) *size = ChunkListTotalSize(span, info);
  return status;
}

EFI_STATUS EFIAPI ChunkCount(TIVP*, const VOID* list, UINTN list_size, UINT64* count) {
  ChunkListInfo info;
  if (!list || !count) return EFI_INVALID_PARAMETER;
  EFI_STATUS status = ChunkListParse(ByteSpan(list, list_size), &info);
  if (!EFI_ERROR(status)) *count = info.chunk_count;
  return status;
}

EFI_STATUS EFIAPI ValidateChunkList(TIVP*, const VOID* list, UINTN list_size) {
  if (!list) return EFI_INVALID_PARAMETER;
  return ChunkListValidate(ByteSpan(list, list_size));
}

EFI_STATUS EFIAPI Close(TIVP*, const UINT8* id) {
  VerificationJob* job = FindJob(id);
  if (!job) return EFI_NOT_FOUND;
  return Release(job) ? EFI_SUCCESS : EFI_TIMEOUT;
}

EFI_STATUS EFIAPI SetCallback(TIVP*, const UINT8* id, ImageVerificationCallback callback, VOID* context) {
  VerificationJob* job = FindJob(id);
  if (!job || !callback) return EFI_INVALID_PARAMETER;
  job->callback = callback;
  job->callback_context = context;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI Shutdown(TIVP*, const UINT8*) {
  EFI_STATUS status = EFI_SUCCESS;
  while (gService.jobs) {
    if (!Release(gService.jobs)) status = EFI_TIMEOUT;
  }
  return status;
}

TarnImageVerificationProtocol gBuiltIn = {Start,      Status,    FirstMissingChunks, QueueChunk,
                                          FirstMissingBytes, ChunkEnd, TotalSize, ChunkCount,
                                          ValidateChunkList, Close, SetCallback, Shutdown};

}  // namespace

TarnImageVerificationProtocol* ImageVerificationBuiltIn() { return &gBuiltIn; }

EFI_STATUS ImageVerificationLocate(TarnImageVerificationProtocol** service) {
  if (!service) return EFI_INVALID_PARAMETER;
  void* found = nullptr;
  EFI_STATUS status = gBS->LocateProtocol(&kTarnImageVerificationProtocolGuid, nullptr, &found);
  *service = !EFI_ERROR(status) && found ? static_cast<TarnImageVerificationProtocol*>(found) : &gBuiltIn;
  return EFI_SUCCESS;
}
