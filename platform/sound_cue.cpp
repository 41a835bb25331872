#include "platform/sound_cue.h"

namespace {

bool TagIs(ByteSpan span, size_t at, const char* tag) {
  if (!span.Contains(at, 4)) return false;
  for (size_t i = 0; i < 4; ++i) {
    if (span.data()[at + i] != static_cast<uint8_t>(tag[i])) return false;
  }
  return true;
}

// Walks the chunks of span (each tag, u32 size, payload padded to an even length) and gives
// the payload of the first chunk with that tag.
bool FindChunk(ByteSpan span, const char* tag, ByteSpan* payload) {
  size_t at = 0;
  while (span.Contains(at, 8)) {
    uint32_t size = 0;
    (void)span.ReadLe32(at + 4, &size);
    if (!span.Contains(at + 8, size)) return false;
    if (TagIs(span, at, tag)) return span.Slice(at + 8, size, payload);
    at += 8 + size_t(size) + (size & 1);
  }
  return false;
}

}  // namespace

uint32_t SoundCrc32(ByteSpan bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < bytes.size(); ++i) {
    crc ^= bytes.data()[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

bool SoundCueName(ByteSpan sound, char* name, size_t capacity) {
  if (!name || capacity == 0) return false;
  name[0] = 0;
  ByteSpan body, chunk, text;
  if (!TagIs(sound, 0, "RIFF") || !TagIs(sound, 8, "WAVE")) return false;
  // The RIFF size may be wrong in files written by streaming tools; the data's own end bounds the walk.
  if (!sound.Slice(12, sound.size() - 12, &body)) return false;
  size_t at = 0;
  // Every LIST chunk is tried in turn: a file may hold other lists before the INFO one.
  while (body.Contains(at, 8)) {
    uint32_t size = 0;
    (void)body.ReadLe32(at + 4, &size);
    if (!body.Contains(at + 8, size)) return false;
    if (TagIs(body, at, "LIST") && size >= 4 && TagIs(body, at + 8, "INFO") &&
        body.Slice(at + 12, size - 4, &chunk) && FindChunk(chunk, "INAM", &text)) {
      size_t length = 0;
      while (length < text.size() && length + 1 < capacity && text.data()[length] != 0) {
        uint8_t c = text.data()[length];
        if (c < 0x20 || c > 0x7E) {
          name[0] = 0;
          return false;
        }
        name[length++] = static_cast<char>(c);
      }
      name[length] = 0;
      return length > 0;
    }
    at += 8 + size_t(size) + (size & 1);
  }
  return false;
}
