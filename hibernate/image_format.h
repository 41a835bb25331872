// The hibernation image as the operating system writes it and the loader reads it back:
// the header fields, the extent map, the hand-off records and the fixed initial vector.
// docs/hibernation.md describes the whole format.
#pragma once

#include "efi/types.h"
#include "lib/span.h"

constexpr UINTN kImageHeaderSize = 512;

// Header field offsets (little-endian).
constexpr UINTN kHdrImage1Size = 8;             // u64, header block included
constexpr UINTN kHdrRestorePage = 16;           // u32
constexpr UINTN kHdrRestoreIndexBase = 24;      // u64
constexpr UINTN kHdrRestorePageCount = 32;      // u32
constexpr UINTN kHdrRestoreEntryOffset = 36;    // u32
constexpr UINTN kHdrRestoreSum = 64;            // u32, written
constexpr UINTN kHdrSignature = 88;             // u32
constexpr UINTN kHdrRuntimePages = 96;          // u32, physical page number
constexpr UINTN kHdrRuntimePageCount = 100;     // u32
constexpr UINTN kHdrRuntimeVirtualPages = 104;  // u64
constexpr UINTN kHdrPerfDataStart = 112;        // u32
constexpr UINTN kHdrPerfDataSize = 116;         // u32
constexpr UINTN kHdrEncryptStart = 120;         // u64, file offset
constexpr UINTN kHdrMachineSignature = 128;     // u64 (the FACS signature in its low half)
constexpr UINTN kHdrPreviewSize = 136;          // u32
constexpr UINTN kHdrPreviewOffset = 140;        // u32
constexpr UINTN kHdrWakeReason = 152;           // u32, written
constexpr UINTN kHdrHandoffPage = 160;          // u32, written
constexpr UINTN kHdrHandoffPageCount = 164;     // u32, written
constexpr UINTN kHdrSystemTableOffset = 168;    // u32, written
constexpr UINTN kHdrOptions = 176;              // u32
constexpr UINTN kHdrSleepTime = 180;            // u32, seconds since 1970
constexpr UINTN kHdrExitTime = 420;             // u32, written (TSC / 256)
constexpr UINTN kHdrVirtualMapTime = 424;       // u32, written
constexpr UINTN kHdrCheckTime = 432;            // u32, written
constexpr UINTN kHdrWakeClock = 436;            // u32, written (CLWK x 10)
constexpr UINTN kHdrPreviewConnectTime = 440;   // u32, written
constexpr UINTN kHdrPreviewTime = 444;          // u32, written
constexpr UINTN kHdrTotalTime = 448;            // u32, written
constexpr UINTN kHdrEncryptEnd = 456;           // u64, file offset
constexpr UINTN kHdrDeviceBase = 464;           // u64, partition start on the disk
constexpr UINTN kHdrDeviceBlockSize = 472;      // u32
constexpr UINTN kHdrExtentMapSize = 476;        // u32
constexpr UINTN kHdrExtentMap = 480;            // first two extents

constexpr UINT32 kImageSignatureValid = 0x73696D65;
constexpr UINT32 kImageSignatureOpen = 0xF1E0BE9D;
constexpr UINT32 kImageSignatureDebugData = 0xFCDDFCDD;

constexpr UINT32 kImageOptionColorPreview = 0x2;  // full colour and graphics delay allowed
constexpr UINT32 kImageOptionProgress = 0x4;      // progress data present
constexpr UINT32 kImageOptionNoGraphics = 0x8;    // set by the loader

constexpr UINTN kExtentSize = 16;
constexpr UINTN kInlineExtentBytes = 32;
constexpr UINTN kExtentMapMaxSize = 4128;

constexpr UINT32 kHandoffGraphics = 0x686F0001;
constexpr UINT32 kHandoffCryptVector = 0x686F0002;
constexpr UINT32 kHandoffMemoryMap = 0x686F0003;
constexpr UINT32 kHandoffDeviceTree = 0x686F0004;
constexpr UINT32 kHandoffKeyStore = 0x686F0006;
constexpr UINT32 kHandoffEnd = 0x686F0000;
constexpr UINTN kHandoffGraphicsSize = 748;
constexpr UINTN kHandoffProgressOffset = 24;  // saved progress data inside the graphics record

constexpr UINTN kProgressSaveSize = 19 * 38;

constexpr UINT8 kImageInitialVector[16] = {0x5c, 0x1e, 0x9a, 0x3f, 0x7b, 0x20, 0xd4, 0xe8,
                                          0x91, 0x6a, 0x0c, 0x3b, 0x7f, 0x4d, 0x2e, 0x81};

struct ImageExtent {
  UINT64 start;   // partition byte offset
  UINT64 length;  // bytes
};

// The facts of a header that the read needs, checked against each other.
struct ImageLayout {
  UINT64 image1_size;
  UINT32 block_size;
  UINT64 device_base;
  UINT32 extent_map_size;
  UINT64 restore_offset;   // image buffer offset of the restore code
  UINT64 restore_bytes;
  UINT64 preview_start;    // image buffer offset of the preview area
  UINT64 preview_end;      // where the read must pause until the preview is complete
  UINT32 preview_size;
  UINT32 preview_offset;
  UINT64 buffer_end;       // image buffer offset one past the last byte read
  bool encrypted;
  UINT64 encrypt_start;    // image buffer offsets
  UINT64 encrypt_end;
};

// Checks a header (at least kImageHeaderSize bytes) with a valid signature and derives the
// layout. EFI_VOLUME_CORRUPTED names the first inconsistency in *reason (static text).
EFI_STATUS ImageLayoutFromHeader(ByteSpan header, ImageLayout* layout, const char** reason);

// The extent at index from the map that starts at header byte 480 (map bytes are the inline
// 32 followed by the rest); false past the end of the map.
bool ImageExtentAt(ByteSpan map, UINTN index, ImageExtent* extent);
