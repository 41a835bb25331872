#include "fde/boot_notes.h"

#include "crypto/crc32.h"
#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

constexpr UINTN kWord = 8;
constexpr UINTN kCandidatesOffset = 2 * kWord;

// Where the bytes [address, address + size) are reachable, or null when no single window
// holds all of them.
UINT8* WindowBytes(const MemoryWindow* windows, UINTN count, UINT64 address, UINT64 size) {
  for (UINTN i = 0; i < count; ++i) {
    const MemoryWindow& w = windows[i];
    if (address < w.base || address - w.base > w.size || size > w.size - (address - w.base)) continue;
    return w.bytes + (address - w.base);
  }
  return nullptr;
}

}  // namespace

EFI_STATUS BootNoteParse(ByteSpan note, BootNote* parsed) {
  if (!parsed) return EFI_INVALID_PARAMETER;
  *parsed = {};
  UINT64 key_size = 0;
  UINT64 key_crc = 0;
  if (note.size() < kBootNoteMinSize || !note.ReadLe64(0, &key_size) || !note.ReadLe64(kWord, &key_crc)) {
    return EFI_BAD_BUFFER_SIZE;
  }
  if (key_size != 16 && key_size != 32) return EFI_UNSUPPORTED;
  const UINTN count = (note.size() - kCandidatesOffset) / kWord;
  if (!note.Slice(kCandidatesOffset, count * kWord, &parsed->candidates)) return EFI_BAD_BUFFER_SIZE;
  parsed->key_size = static_cast<UINT32>(key_size);
  parsed->key_crc = key_crc;
  parsed->candidate_count = count;
  return EFI_SUCCESS;
}

UINT64 BootNoteCandidate(const BootNote& note, UINTN index) {
  UINT64 address = 0;
  note.candidates.ReadLe64(index * kWord, &address);  // stays 0 past the end
  return address;
}

EFI_STATUS BootNoteTakeKey(const BootNote& note, const MemoryWindow* windows, UINTN window_count, KeyRecord* key,
                           UINTN* taken) {
  if (!key || !taken || (!windows && window_count)) return EFI_INVALID_PARAMETER;
  *taken = 0;
  CryptoWipe(key, sizeof(*key));
  if (note.key_size != 16 && note.key_size != 32) return EFI_UNSUPPORTED;
  for (UINTN i = 0; i < note.candidate_count; ++i) {
    UINT8* copy = WindowBytes(windows, window_count, BootNoteCandidate(note, i), note.key_size);
    if (!copy || Crc32(0, copy, note.key_size) != note.key_crc) continue;
    MemCopy(key->bytes, copy, note.key_size);
    CryptoWipe(copy, note.key_size);
    ++*taken;
  }
  if (*taken == 0) return EFI_NOT_FOUND;
  key->length = 16;
  return EFI_SUCCESS;
}
