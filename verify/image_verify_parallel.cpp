// Parallel hashing: a dispatch event on the boot processor hands pending chunks to work
// slots, one per application processor; a 10 ms timer starts the processors on the slots,
// and the multiprocessor services signal the dispatch event when they are all done.
#include "verify/chunk_extents.h"
#include "verify/image_verify_job.h"
#include "diag/log.h"
#include "crypto/processor_features.h"
#include "crypto/sha256.h"
#include "memory/memory.h"
#include "lib/mem.h"

namespace {

constexpr UINT64 kTimerPeriod100ns = 100000;  // 10 ms
constexpr UINTN kStopWaitSeconds = 5;

// Runs on each application processor: only its own slot and that chunk's state byte.
VOID EFIAPI HashOnProcessor(VOID* argument) {
  auto* job = static_cast<VerificationJob*>(argument);
  UINTN number = 0;
  if (EFI_ERROR(job->mp->WhoAmI(job->mp, &number)) || number == job->bsp_number) return;
  UINTN index = number < job->bsp_number ? number : number - 1;
  if (index >= job->ap_count) return;
  WorkSlot* slot = &job->slots[index];
  if (!slot->buffer || slot->done) return;
  UINT8 digest[kSha256DigestSize];
  Sha256(slot->buffer, static_cast<size_t>(slot->size), digest);
  bool good = MemCompare(digest, slot->digest, kChunkDigestSize) == 0;
  ChunkStateStore(slot->state, good ? kChunkQueued | kChunkVerified : 0);
  __atomic_store_n(&slot->done, 1, __ATOMIC_RELEASE);
}

void CloseTimer(VerificationJob* job) {
  if (!job->timer_event) return;
  gBS->SetTimer(job->timer_event, TimerCancel, 0);
  gBS->CloseEvent(job->timer_event);
  job->timer_event = nullptr;
}

void CloseDispatch(VerificationJob* job) {
  if (!job->dispatch_event) return;
  gBS->CloseEvent(job->dispatch_event);
  job->dispatch_event = nullptr;
}

// Books what the processors decided; slots they did not reach give their chunk back.
void CollectSlots(VerificationJob* job) {
  for (UINTN i = 0; i < job->ap_count; ++i) {
    WorkSlot* slot = &job->slots[i];
    if (!slot->buffer) continue;
    ChunkRecord* chunk = &job->chunks[slot->number];
    if (__atomic_load_n(&slot->done, __ATOMIC_ACQUIRE)) {
      bool good = ChunkStateLoad(&chunk->state) & kChunkVerified;
      --job->pending;
      if (!good) --job->good;
      JobReport(job, chunk, good ? EFI_SUCCESS : EFI_SECURITY_VIOLATION);
    }
    chunk->in_slot = 0;
    PoolFree(slot->buffer);
    *slot = WorkSlot{};
  }
}

ChunkRecord* NextUnassigned(VerificationJob* job) {
  for (UINT64 i = 0; i < job->chunk_count; ++i) {
    ChunkRecord* chunk = &job->chunks[i];
    if (!chunk->in_slot && ChunkStateLoad(&chunk->state) == kChunkQueued) return chunk;
  }
  return nullptr;
}

// Gives every idle slot the next pending chunk; returns how many slots hold work.
UINTN FillSlots(VerificationJob* job) {
  UINTN busy = 0;
  for (UINTN i = 0; i < job->ap_count; ++i) {
    WorkSlot* slot = &job->slots[i];
    ChunkRecord* chunk = slot->buffer ? nullptr : NextUnassigned(job);
    if (chunk) {
      auto* buffer = static_cast<UINT8*>(PoolAllocate(chunk->size ? static_cast<UINTN>(chunk->size) : 1));
      if (!buffer) break;  // the chunk stays pending for a later round or the boot processor
      if (EFI_ERROR(ExtentListGather(job->image, chunk->offset, chunk->size, buffer))) {
        PoolFree(buffer);
        break;
      }
      *slot = WorkSlot{buffer, chunk->size, chunk->digest, &chunk->state, chunk->offset, chunk->number, 0};
      chunk->in_slot = 1;
    }
    if (slot->buffer) ++busy;
  }
  return busy;
}

void ReleaseSlots(VerificationJob* job) {
  for (UINTN i = 0; i < job->ap_count; ++i) {
    if (!job->slots[i].buffer) continue;
    job->chunks[job->slots[i].number].in_slot = 0;
    PoolFree(job->slots[i].buffer);
    job->slots[i] = WorkSlot{};
  }
}

VOID EFIAPI Dispatch(EFI_EVENT, VOID* context) {
  auto* job = static_cast<VerificationJob*>(context);
  job->dispatching = true;
  job->aps_running = false;  // signalled at start, and by the services when all are done
  CollectSlots(job);
  if (job->stopping) {
    CloseDispatch(job);
  } else if (FillSlots(job) == 0) {
    CloseTimer(job);
    CloseDispatch(job);
    job->one_by_one_always = true;
    JobVerifyPendingOneByOne(job);  // what no slot could take (no memory) is hashed here
  }
  job->dispatching = false;
}

// The processors could not be started: hash what is left on the boot processor.
void FallBackToOneByOne(VerificationJob* job, EFI_STATUS why) {
  LogMessage(kLogCategoryError, "Image verification: processors not started (0x%lx), hashing on the boot processor\n",
             why);
  job->one_by_one_now = job->one_by_one_always = true;
  CloseTimer(job);
  CloseDispatch(job);
  ReleaseSlots(job);
  JobVerifyPendingOneByOne(job);
}

VOID EFIAPI Tick(EFI_EVENT, VOID* context) {
  auto* job = static_cast<VerificationJob*>(context);
  if (job->pending == 0) {
    if (job->good == job->chunk_count && !job->aps_running) {
      CloseTimer(job);
      CloseDispatch(job);
    }
    return;
  }
  if (job->aps_running || job->dispatching || !job->dispatch_event) return;
  bool work = false;
  for (UINTN i = 0; i < job->ap_count; ++i) work = work || job->slots[i].buffer;
  if (!work) {
    gBS->SignalEvent(job->dispatch_event);
    return;
  }
  EFI_STATUS status =
      job->mp->StartupAllAPs(job->mp, HashOnProcessor, FALSE, job->dispatch_event, 0, job, nullptr);
  if (status == EFI_NOT_READY) return;  // still busy with someone else's work: try on the next tick
  if (EFI_ERROR(status)) {
    FallBackToOneByOne(job, status);
    return;
  }
  job->aps_running = true;
}

}  // namespace

EFI_STATUS JobStartParallel(VerificationJob* job, const ImageVerifyProcessors& processors) {
  CryptoFeatures();  // recorded here, never first on an application processor
  job->slots = static_cast<WorkSlot*>(PoolAllocateZero(processors.ap_count * sizeof(WorkSlot)));
  if (!job->slots) return EFI_OUT_OF_RESOURCES;
  job->mp = processors.mp;
  job->ap_count = processors.ap_count;
  job->bsp_number = processors.bsp_number;
  EFI_STATUS status = gBS->CreateEvent(EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Dispatch, job, &job->dispatch_event);
  if (!EFI_ERROR(status)) {
    status = gBS->CreateEvent(EVT_TIMER | EVT_NOTIFY_SIGNAL, TPL_CALLBACK, Tick, job, &job->timer_event);
  }
  if (!EFI_ERROR(status)) status = gBS->SetTimer(job->timer_event, TimerPeriodic, kTimerPeriod100ns);
  if (EFI_ERROR(status)) {
    CloseTimer(job);
    CloseDispatch(job);
    return status;
  }
  gBS->SignalEvent(job->dispatch_event);
  return EFI_SUCCESS;
}

bool JobStopParallel(VerificationJob* job) {
  CloseTimer(job);
  job->stopping = true;
  for (UINTN i = 0; i < kStopWaitSeconds && job->aps_running; ++i) gBS->Stall(1000000);
  if (job->aps_running) return false;
  CloseDispatch(job);
  ReleaseSlots(job);
  return true;
}
