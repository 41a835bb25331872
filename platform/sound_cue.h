// What the audio stand-in says about a sound it is handed: a CRC-32 of its bytes and, for a
// RIFF/WAVE file whose LIST/INFO chunk carries an "INAM" entry, that name (the cues of
// sound.efires name themselves this way, see docs/login-artwork.md). Pure, so that host
// tests and the fuzz target run it unchanged.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "lib/span.h"

// CRC-32 as zlib computes it (reflected polynomial 0xEDB88320, register and result inverted).
uint32_t SoundCrc32(ByteSpan bytes);

// Copies the INAM text (printable ASCII only, cut to capacity - 1 characters) into name,
// terminated. False, with name empty, when the data is no RIFF/WAVE file, has no such entry,
// or a chunk runs past the data. Reads nothing outside sound.
bool SoundCueName(ByteSpan sound, char* name, size_t capacity);
