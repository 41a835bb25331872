// A "boot-note" variable over a stretch of memory: any note bytes, any memory contents.
// Input: a length byte n, n bytes of note, then the memory at physical 0x10000 (the last
// 64 bytes of it a second window at 0x20000). Candidates anywhere else must be skipped
// unread, and the key record must come back empty or of length 16.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fde/boot_notes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  size_t note_size = data[0] < size - 1 ? data[0] : size - 1;
  ByteSpan note(data + 1, note_size);
  std::vector<uint8_t> memory(data + 1 + note_size, data + size);
  size_t high = memory.size() < 64 ? memory.size() : 64;
  size_t low = memory.size() - high;
  MemoryWindow windows[2] = {{0x10000, low, memory.data()}, {0x20000, high, memory.data() + low}};

  BootNote parsed;
  if (EFI_ERROR(BootNoteParse(note, &parsed))) return 0;
  if (parsed.key_size != 16 && parsed.key_size != 32) abort();
  if (parsed.candidate_count * 8 + 16 > note.size()) abort();
  KeyRecord key;
  UINTN taken = 0;
  EFI_STATUS status = BootNoteTakeKey(parsed, windows, 2, &key, &taken);
  if ((status == EFI_SUCCESS) != (taken > 0) || taken > parsed.candidate_count) abort();
  if (key.length != (taken ? 16u : 0u)) abort();
  return 0;
}
