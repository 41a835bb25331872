// Boot notes: the running operating system leaves an encrypted payload for the next boot
// ("boot-info-payload") and the key that opens it, either in the SMC's "HBKP" slot or as
// copies in memory that a "boot-note" variable points at (key size, CRC-32 of the key,
// physical addresses of candidate copies). The key is consumed: the SMC slot and every
// matching copy are zeroed, and both variables are deleted.
#pragma once

#include "fde/unlock_key.h"
#include "efi/types.h"
#include "lib/span.h"

// "boot-note": 64-bit little-endian words.
constexpr UINTN kBootNoteMinSize = 24;
// Larger notes are refused before they are read (about 500 candidates).
constexpr UINTN kBootNoteMaxSize = 4096;

struct BootNote {
  UINT32 key_size;       // 16 or 32
  UINT64 key_crc;        // CRC-32 of the key, zero-extended
  ByteSpan candidates;   // whole 64-bit words only
  UINTN candidate_count;
};

// Reads a note. EFI_BAD_BUFFER_SIZE when shorter than 24 bytes, EFI_UNSUPPORTED for a key
// size other than 16 or 32. Bytes after the last whole word are ignored.
[[nodiscard]] EFI_STATUS BootNoteParse(ByteSpan note, BootNote* parsed);

// The physical address of candidate index (index < candidate_count).
UINT64 BootNoteCandidate(const BootNote& note, UINTN index);

// A stretch of ordinary memory that candidate copies may be read from and zeroed in: the
// physical range [base, base + size) and where its bytes are reachable.
struct MemoryWindow {
  UINT64 base;
  UINT64 size;
  UINT8* bytes;
};

// For every candidate whose key-size bytes lie wholly inside one window and have the note's
// CRC-32, copies them into key (length 16, the rest of the record zero) and zeroes them in
// memory. Candidates outside the windows are skipped unread. *taken counts the matching
// candidates. EFI_NOT_FOUND when none matched (key is left zeroed).
[[nodiscard]] EFI_STATUS BootNoteTakeKey(const BootNote& note, const MemoryWindow* windows, UINTN window_count,
                                         KeyRecord* key, UINTN* taken);

// The windows of the firmware's memory map in which the operating system's key copies may
// survive (ordinary memory of the loader, the boot services or free memory; never the first
// page). Adjacent windows are merged. The array is pool memory; free it with PoolFree.
[[nodiscard]] EFI_STATUS BootNoteMemoryWindows(MemoryWindow** windows, UINTN* count);

// Consumes the boot notes and delivers what the payload carries (unlock key, key-store
// blob). Returns 0 when a payload was opened and delivered something, -1 otherwise.
// Recovery and pending-hibernation boots only delete the notes.
INT32 ProcessBootNotes();
