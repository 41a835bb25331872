// The booter's own image verification service: jobs, one per image being verified.
#pragma once

#include "verify/chunk_list.h"
#include "efi/efi.h"
#include "efi/protocols/mp_services.h"
#include "efi/protocols/tarn_image_verification.h"

// Chunk state bits. 1: pending, 3: verified, 0: missing or bad.
constexpr UINT8 kChunkQueued = 0x1;
constexpr UINT8 kChunkVerified = 0x2;

struct ChunkRecord {
  UINT64 offset;  // sum of the sizes before it
  UINT64 size;
  UINT8 digest[kChunkDigestSize];
  UINT64 number;
  UINT8 use_count;
  UINT8 state;      // written by an application processor while in a work slot: atomic access only
  UINT8 in_slot;    // handed to a work slot and not yet collected
  UINT8 reserved[5];
};
static_assert(sizeof(ChunkRecord) == 64);

// One per application processor; the processor touches only its slot and the chunk's state.
struct WorkSlot {
  UINT8* buffer;  // null: idle
  UINT64 size;
  const UINT8* digest;
  UINT8* state;
  UINT64 offset;
  UINT64 number;
  UINT64 done;  // set by the processor when its hash is decided
};
static_assert(sizeof(WorkSlot) == 56);

struct VerificationJob {
  VerificationJob* next;
  UINT8 id[kImageVerificationIdSize];
  const UINT8* chunk_list;
  UINTN chunk_list_size;
  const ImageExtentList* image;
  ImageVerificationCallback callback;
  void* callback_context;
  UINT64 chunk_count;
  UINT64 pending;
  UINT64 good;
  ChunkRecord* chunks;
  // Parallel hashing.
  EFI_MP_SERVICES_PROTOCOL* mp;
  UINTN ap_count;
  UINTN bsp_number;
  WorkSlot* slots;
  EFI_EVENT dispatch_event;
  EFI_EVENT timer_event;
  bool aps_running;    // the job's busy flag: processors work on its slots
  bool dispatching;
  bool stopping;       // close the dispatch event once the processors are done
  bool one_by_one_now;
  bool one_by_one_always;
};

// Processors the service may use, found when it is set up.
struct ImageVerifyProcessors {
  EFI_MP_SERVICES_PROTOCOL* mp;  // null: hash on the boot processor only
  UINTN ap_count;
  UINTN bsp_number;
};

// Builds a job (chunk records from the list, all pending). The list must have been parsed;
// EFI_VOLUME_CORRUPTED when the chunks do not add up to the image's size or the extents do
// not hold it.
[[nodiscard]] EFI_STATUS JobCreate(const UINT8* id, ByteSpan list, const ChunkListInfo& info,
                                   const ImageExtentList* image, VerificationJob** job);
void JobFree(VerificationJob* job);

// Hashes one chunk on the boot processor and books the result. EFI_ACCESS_DENIED on a
// mismatch, EFI_OUT_OF_RESOURCES without a buffer (the chunk stays pending).
[[nodiscard]] EFI_STATUS JobVerifyChunk(VerificationJob* job, ChunkRecord* chunk);
// Verifies pending chunks in order until none is left or one fails.
void JobVerifyPendingOneByOne(VerificationJob* job);
// Tells the callback, if any, what became of a chunk.
void JobReport(VerificationJob* job, const ChunkRecord* chunk, EFI_STATUS status);
// The chunk that holds image offset, or null.
ChunkRecord* JobChunkAt(VerificationJob* job, UINT64 offset);
// First run of chunks in state 0; false when there is none.
bool JobFirstMissingRun(const VerificationJob* job, UINT64* first, UINT64* last);

UINT8 ChunkStateLoad(const UINT8* state);
void ChunkStateStore(UINT8* state, UINT8 value);

// Parallel hashing on the application processors (image_verify_parallel.cpp).
[[nodiscard]] EFI_STATUS JobStartParallel(VerificationJob* job, const ImageVerifyProcessors& processors);
// Stops the timer, lets running processors finish (up to 5 one-second stalls) and releases
// the dispatch event. False when processors still hold the job's slots.
bool JobStopParallel(VerificationJob* job);
