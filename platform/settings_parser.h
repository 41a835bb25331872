// The platform loader's settings file: UTF-8 text, one directive per line, "#" starts a
// comment. The parser is pure (no firmware calls) so that it runs unchanged in host tests;
// it hands each well-formed directive to a sink and reports each malformed line with its
// number. See docs/platform-loader.md for the directives.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "efi/types.h"
#include "lib/span.h"

// Longest variable name a `var` line may give, in UCS-2 units without the terminator.
constexpr size_t kSettingsMaxNameLength = 255;
// Largest value an `smc` line may give.
constexpr size_t kSettingsMaxSmcValueSize = 32;

// A `var NAMESPACE NAME ATTRIBUTES VALUE` line.
struct SettingsVariable {
  EFI_GUID vendor;
  CHAR16 name[kSettingsMaxNameLength + 1];  // terminated
  UINT32 attributes;
  const uint8_t* value;  // points into the parser's scratch; valid only during the callback
  size_t value_size;
  // partition:N:TEXT: the device path of partition N of the disk, then a file-path node
  // holding value (the TEXT); 0 for the plain forms.
  UINT32 partition;
};

// An `smc KEY VALUE` line: a key of the SMC stand-in and its value (1 to 32 bytes; the
// integer forms are big-endian, as the controller stores numbers).
struct SettingsSmcKey {
  UINT32 key;            // the four characters, the first in the most significant byte
  const uint8_t* value;  // points into the parser's scratch; valid only during the callback
  size_t value_size;
};

// An `smc-schedule KEY SECONDS VALUE...` line: the key takes the values in turn, one every
// SECONDS seconds, starting with the first and starting over after the last. All values
// have one size (1 to 32 bytes, integer forms big-endian).
constexpr size_t kSettingsMaxSmcScheduleValues = 16;
struct SettingsSmcSchedule {
  UINT32 key;
  uint32_t seconds;       // 1 or more
  const uint8_t* values;  // count x value_size bytes in the parser's scratch; valid only during the callback
  size_t value_size;
  size_t count;
};

// A `signing-key NAME HEX-MODULUS` line: a public key the signature stand-in trusts.
struct SettingsSigningKey {
  const char* name;  // points into the text; not terminated
  size_t name_length;
  const uint8_t* modulus;  // big-endian, in the parser's scratch; valid only during the callback
  size_t modulus_size;
};

// A `firmware-picture NAME PATH` line: a picture the firmware-picture stand-in serves under
// NAME in its "GuidList" directory, read from PATH on the loader's own volume.
constexpr size_t kSettingsMaxPictureName = 31;
constexpr size_t kSettingsMaxPicturePath = 127;
struct SettingsFirmwarePicture {
  char name[kSettingsMaxPictureName + 1];  // terminated, printable ASCII
  CHAR16 path[kSettingsMaxPicturePath + 1];  // terminated
};

// When the loader ends QEMU through its debug-exit port.
enum class QemuExitPolicy { kNever, kOnReturn };

// A `background-color` line: the maker's background-colour stand-in.
enum class BackgroundColorMode { kAbsent, kColor, kFailing };

// Receives the directives in file order. Any callback may be null.
struct SettingsSink {
  void* context;
  void (*variable)(void* context, const SettingsVariable& variable);
  void (*exit_qemu)(void* context, QemuExitPolicy policy);
  // line counts from 1; reason is a short English phrase without a newline.
  void (*malformed)(void* context, size_t line, const char* reason);
  void (*smc_key)(void* context, const SettingsSmcKey& key) = nullptr;
  void (*signing_key)(void* context, const SettingsSigningKey& key) = nullptr;
  // `input-events REVISION`, `key-map` and `simple-pointer` (see platform/input_events.h).
  void (*input_events)(void* context, uint64_t revision) = nullptr;
  void (*key_map)(void* context) = nullptr;
  void (*simple_pointer)(void* context) = nullptr;
  // console-start text|graphics
  void (*console_start)(void* context, bool graphics) = nullptr;
  // background-color 0xRRGGBB|none|failing
  void (*background_color)(void* context, BackgroundColorMode mode, uint32_t rgb) = nullptr;
  // gop-mode WIDTHxHEIGHT
  void (*gop_mode)(void* context, uint32_t width, uint32_t height) = nullptr;
  // hearth-source volume|network
  void (*hearth_source)(void* context, bool network) = nullptr;
  // network-latency MILLISECONDS
  void (*network_latency)(void* context, uint32_t milliseconds) = nullptr;
  void (*smc_schedule)(void* context, const SettingsSmcSchedule& schedule) = nullptr;
  // audio [MILLISECONDS]: the audio stand-in; how long a sound plays (0 when not given)
  void (*audio)(void* context, uint32_t play_ms) = nullptr;
  // beep: the beep-generator stand-in
  void (*beep)(void* context) = nullptr;
  void (*firmware_picture)(void* context, const SettingsFirmwarePicture& picture) = nullptr;
  // block-read
  void (*block_read)(void* context) = nullptr;
};

// Writable memory the parser decodes values into.
struct SettingsScratch {
  uint8_t* data;
  size_t size;
};

// Scratch size that holds any value of a text of the given size.
constexpr size_t SettingsScratchSize(size_t text_size) { return text_size + 8; }

// Parses the whole text and returns the number of malformed lines. Reads nothing outside
// text and writes nothing outside scratch; a value that does not fit the scratch makes its
// line malformed.
size_t ParsePlatformSettings(ByteSpan text, SettingsScratch scratch, const SettingsSink& sink);

// Parses "8BE4DF61-93CA-11D2-AA0D-00E098032B8C", with or without braces.
bool ParseSettingsGuid(const char* text, size_t length, EFI_GUID* guid);
