// The image verification service: checks a disk image held in memory against its signed
// chunk list (a table of SHA-256 digests of consecutive pieces of the image). The firmware
// may provide it; otherwise hearth installs nothing and uses its own instance.
//
// Every chunk list is passed with its length in bytes: the list comes from disk and is read
// only within that length.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnImageVerificationProtocolGuid = {0x2F18B731, 0xC475, 0x41F6, {0xA2, 0x10, 0x69, 0x21, 0x2F, 0x2E, 0x77, 0x96}};

constexpr UINTN kImageVerificationIdSize = 12;

// An image in memory: a header followed by ExtentCount (Address, Length) pairs. Reads are cut
// at TotalSize.
struct ImageExtent {
  UINT64 Address;
  UINT64 Length;
};
struct ImageExtentList {
  UINT64 ExtentCount;
  UINT64 Reserved;
  UINT64 TotalSize;
  ImageExtent Extents[1];  // ExtentCount of them
};
static_assert(offsetof(ImageExtentList, Extents) == 24);
static_assert(sizeof(ImageExtent) == 16);

// What the callback receives after each chunk is decided.
struct ImageVerificationResult {
  UINT8 Identifier[kImageVerificationIdSize];
  UINT32 Reserved;
  UINT64 ChunkNumber;
  UINT64 Offset;
  UINT64 Size;
  EFI_STATUS Status;  // EFI_SUCCESS verified, EFI_SECURITY_VIOLATION digest mismatch
};
static_assert(sizeof(ImageVerificationResult) == 48);

typedef VOID(EFIAPI* ImageVerificationCallback)(VOID* Context, const ImageVerificationResult* Result);

struct TarnImageVerificationProtocol;
typedef TarnImageVerificationProtocol TIVP;

struct TarnImageVerificationProtocol {
  // 1. EFI_ALREADY_STARTED when Identifier is in use; the signature check's status when it fails.
  EFI_STATUS(EFIAPI* Start)(TIVP* This, const UINT8* Identifier, const VOID* ChunkList, UINTN ChunkListSize,
                            const ImageExtentList* Image);
  // 2. EFI_SUCCESS only when nothing is pending and every chunk is good, else EFI_NOT_READY;
  //    EFI_NOT_FOUND for an unknown identifier.
  EFI_STATUS(EFIAPI* Status)(TIVP* This, const UINT8* Identifier, UINT64* ChunkCount, UINT64* PendingCount,
                             UINT64* GoodCount);
  // 3. The first run of missing or bad chunks, by chunk number; EFI_NOT_FOUND when none.
  EFI_STATUS(EFIAPI* FirstMissingChunks)(TIVP* This, const UINT8* Identifier, UINT64* First, UINT64* Last);
  // 4. Queues the chunk that starts at ChunkOffset again.
  EFI_STATUS(EFIAPI* QueueChunk)(TIVP* This, const UINT8* Identifier, UINT64 ChunkOffset);
  // 5. The same run as 3, as image byte offsets (Last is the run's last byte).
  EFI_STATUS(EFIAPI* FirstMissingBytes)(TIVP* This, const UINT8* Identifier, UINT64* FirstByte, UINT64* LastByte);
  // 6. The last byte of the chunk that starts at ChunkOffset; counts one more use of it.
  EFI_STATUS(EFIAPI* ChunkEnd)(TIVP* This, const UINT8* Identifier, UINT64 ChunkOffset, UINT64* LastByte,
                               UINT8* UseCount);
  // 7. Sum of the chunk sizes.
  EFI_STATUS(EFIAPI* TotalSize)(TIVP* This, const VOID* ChunkList, UINTN ChunkListSize, UINT64* Size);
  // 8. Number of chunks.
  EFI_STATUS(EFIAPI* ChunkCount)(TIVP* This, const VOID* ChunkList, UINTN ChunkListSize, UINT64* Count);
  // 9. EFI_UNSUPPORTED without the magic, else the signature check's status.
  EFI_STATUS(EFIAPI* ValidateChunkList)(TIVP* This, const VOID* ChunkList, UINTN ChunkListSize);
  // 10. Removes the job and frees its memory.
  EFI_STATUS(EFIAPI* Close)(TIVP* This, const UINT8* Identifier);
  // 11. EFI_INVALID_PARAMETER for a missing identifier or callback.
  EFI_STATUS(EFIAPI* SetCallback)(TIVP* This, const UINT8* Identifier, ImageVerificationCallback Callback,
                                  VOID* Context);
  // 12. Stops hashing, waits up to 5 seconds for busy work and frees every job.
  EFI_STATUS(EFIAPI* Shutdown)(TIVP* This, const UINT8* Identifier);
};
static_assert(sizeof(TarnImageVerificationProtocol) == 12 * 8);
TARN_OPERATION(TarnImageVerificationProtocol, Start, 1);
TARN_OPERATION(TarnImageVerificationProtocol, Status, 2);
TARN_OPERATION(TarnImageVerificationProtocol, FirstMissingChunks, 3);
TARN_OPERATION(TarnImageVerificationProtocol, QueueChunk, 4);
TARN_OPERATION(TarnImageVerificationProtocol, FirstMissingBytes, 5);
TARN_OPERATION(TarnImageVerificationProtocol, ChunkEnd, 6);
TARN_OPERATION(TarnImageVerificationProtocol, TotalSize, 7);
TARN_OPERATION(TarnImageVerificationProtocol, ChunkCount, 8);
TARN_OPERATION(TarnImageVerificationProtocol, ValidateChunkList, 9);
TARN_OPERATION(TarnImageVerificationProtocol, Close, 10);
TARN_OPERATION(TarnImageVerificationProtocol, SetCallback, 11);
TARN_OPERATION(TarnImageVerificationProtocol, Shutdown, 12);
