// The audio stand-in reads the cue name of whatever sound hearth hands it.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/sound_cue.cpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char name[16];
  std::memset(name, 0x55, sizeof(name));
  bool found = SoundCueName(ByteSpan(data, size), name, sizeof(name));
  size_t length = strnlen(name, sizeof(name));
  if (length == sizeof(name) || (found && length == 0) || (!found && length != 0)) std::abort();
  for (size_t i = 0; i < length; ++i) {
    if (name[i] < 0x20 || name[i] > 0x7E) std::abort();
  }
  (void)SoundCrc32(ByteSpan(data, size));
  return 0;
}
