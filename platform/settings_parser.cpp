#include "flags/guids.h"
#include "platform/settings_parser.h"

#include "efi/system_table.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

constexpr EFI_GUID kBootInfoNamespace = {0x8D63D4FE, 0xBD3C, 0x4AAD, {0x88, 0x1D, 0x86, 0xFD, 0x97, 0x4B, 0xC1, 0xDF}};

struct NamespaceAlias {
  const char* name;
  EFI_GUID guid;
};
constexpr NamespaceAlias kNamespaces[] = {
    {"boot", TarnBootGuid},
    {"vendor", TarnVendorGuid},
    {"global", kEfiGlobalVariableGuid},
    {"bootinfo", kBootInfoNamespace},
};

// One word of a line: bare, or the raw inside of "..." with its escapes still in place.
struct Token {
  const uint8_t* data;
  size_t size;
  bool quoted;
};

struct LineReader {
  ByteSpan line;
  size_t pos;
};

enum class Next { kToken, kEnd, kError };

bool IsBlank(uint8_t c) { return c == ' ' || c == '\t'; }

int HexValue(uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool StartsWith(const uint8_t* data, size_t size, const char* prefix) {
  size_t n = AsciiStrLen(prefix);
  return size >= n && MemCompare(data, prefix, n) == 0;
}

bool TokenIs(const Token& t, const char* word) {
  return !t.quoted && t.size == AsciiStrLen(word) && MemCompare(t.data, word, t.size) == 0;
}

// Scans past a quoted token whose opening quote is at r->pos.
Next ScanQuoted(LineReader* r, Token* token, const char** error) {
  const uint8_t* line = r->line.data();
  size_t size = r->line.size();
  size_t i = r->pos + 1;
  while (i < size && line[i] != '"') i += (line[i] == '\\') ? 2 : 1;
  if (i >= size) {
    *error = "quoted text has no closing quote";
    return Next::kError;
  }
  *token = Token{line + r->pos + 1, i - r->pos - 1, true};
  r->pos = i + 1;
  if (r->pos < size && !IsBlank(line[r->pos]) && line[r->pos] != '#') {
    *error = "text runs on after a closing quote";
    return Next::kError;
  }
  return Next::kToken;
}

// The next word of the line; kEnd at the end of the line or at a comment.
Next NextToken(LineReader* r, Token* token, const char** error) {
  const uint8_t* line = r->line.data();
  size_t size = r->line.size();
  while (r->pos < size && IsBlank(line[r->pos])) ++r->pos;
  if (r->pos == size || line[r->pos] == '#') return Next::kEnd;
  if (line[r->pos] == '"') return ScanQuoted(r, token, error);
  size_t start = r->pos;
  while (r->pos < size && !IsBlank(line[r->pos]) && line[r->pos] != '#') ++r->pos;
  *token = Token{line + start, r->pos - start, false};
  return Next::kToken;
}

// Reads a token that must be there; names what was missing otherwise.
const char* RequireToken(LineReader* r, Token* token, const char* missing) {
  const char* error = nullptr;
  switch (NextToken(r, token, &error)) {
    case Next::kToken:
      return nullptr;
    case Next::kEnd:
      return missing;
    case Next::kError:
      return error;
  }
  return missing;
}

const char* RequireEnd(LineReader* r) {
  Token extra;
  const char* error = nullptr;
  Next next = NextToken(r, &extra, &error);
  if (next == Next::kError) return error;
  return next == Next::kEnd ? nullptr : "unexpected text at the end of the line";
}

// Copies a token's text into out, resolving \\ \" \n \r \t and \xHH in quoted tokens.
const char* Unescape(const Token& t, SettingsScratch out, size_t* length) {
  if (t.size > out.size) return "value too long";
  size_t n = 0;
  for (size_t i = 0; i < t.size; ++i) {
    uint8_t c = t.data[i];
    if (t.quoted && c == '\\') {
      if (++i == t.size) return "backslash at the end of quoted text";
      switch (t.data[i]) {
        case '\\': c = '\\'; break;
        case '"': c = '"'; break;
        case 'n': c = '\n'; break;
        case 'r': c = '\r'; break;
        case 't': c = '\t'; break;
        case 'x': {
          if (t.size - i < 3 || HexValue(t.data[i + 1]) < 0 || HexValue(t.data[i + 2]) < 0) {
            return "\\x needs two hexadecimal digits";
          }
          c = static_cast<uint8_t>(HexValue(t.data[i + 1]) * 16 + HexValue(t.data[i + 2]));
          i += 2;
          break;
        }
        default:
          return "unknown escape in quoted text";
      }
    }
    out.data[n++] = c;  // never more bytes than the token has
  }
  *length = n;
  return nullptr;
}

// Decodes UTF-8 into NUL-terminated UCS-2; characters beyond the basic plane have no
// UCS-2 form and are refused, as are NUL, surrogates and overlong forms.
const char* Utf8ToUcs2(const uint8_t* s, size_t n, CHAR16* out, size_t capacity) {
  size_t count = 0;
  for (size_t i = 0; i < n;) {
    uint32_t c = s[i];
    size_t extra = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : 3;
    if (extra == 3) return "name is not UTF-8 text of the basic plane";
    if (n - i <= extra) return "name ends inside a UTF-8 sequence";
    if (extra) c &= (extra == 1) ? 0x1F : 0x0F;
    for (size_t k = 1; k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) return "name is not UTF-8 text";
      c = (c << 6) | (s[i + k] & 0x3F);
    }
    if ((extra == 1 && c < 0x80) || (extra == 2 && c < 0x800)) return "name has an overlong UTF-8 form";
    if (c == 0 || (c >= 0xD800 && c <= 0xDFFF)) return "name holds a character a variable name cannot";
    if (count == capacity) return "name too long";
    out[count++] = static_cast<CHAR16>(c);
    i += extra + 1;
  }
  if (count == 0) return "empty name";
  out[count] = 0;
  return nullptr;
}

// "0x..." hexadecimal or decimal, no larger than max.
bool ParseUnsigned(const uint8_t* s, size_t n, uint64_t max, uint64_t* value) {
  uint64_t base = 10;
  if (n > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s += 2;
    n -= 2;
  }
  if (n == 0) return false;
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    int digit = HexValue(s[i]);
    if (digit < 0 || static_cast<uint64_t>(digit) >= base) return false;
    if (v > (max - digit) / base) return false;
    v = v * base + digit;
  }
  *value = v;
  return true;
}

bool ParseHexNumber(const Token& t, uint64_t max, uint64_t* value) {
  if (t.quoted || t.size == 0) return false;
  const uint8_t* s = t.data;
  size_t n = t.size;
  if (n > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    s += 2;
    n -= 2;
  }
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    int digit = HexValue(s[i]);
    if (digit < 0 || v > (max - digit) / 16) return false;
    v = v * 16 + digit;
  }
  *value = v;
  return true;
}

const char* ParseNamespace(const Token& t, EFI_GUID* guid) {
  for (const NamespaceAlias& alias : kNamespaces) {
    if (TokenIs(t, alias.name)) {
      *guid = alias.guid;
      return nullptr;
    }
  }
  if (t.quoted || !ParseSettingsGuid(reinterpret_cast<const char*>(t.data), t.size, guid)) {
    return "namespace is neither boot, vendor, global, bootinfo nor a GUID";
  }
  return nullptr;
}

const char* DecodeHexBytes(const uint8_t* s, size_t n, SettingsScratch out, size_t* length) {
  if (n % 2 != 0) return "hex: value has an odd number of digits";
  if (n / 2 > out.size) return "value too long";
  for (size_t i = 0; i < n; i += 2) {
    int high = HexValue(s[i]);
    int low = HexValue(s[i + 1]);
    if (high < 0 || low < 0) return "hex: value holds a non-hexadecimal digit";
    out.data[i / 2] = static_cast<uint8_t>(high * 16 + low);
  }
  *length = n / 2;
  return nullptr;
}

struct IntegerForm {
  const char* prefix;
  size_t width;
};
constexpr IntegerForm kIntegerForms[] = {{"u8:", 1}, {"u16:", 2}, {"u32:", 4}, {"u64:", 8}};

const char* DecodeInteger(const Token& t, const IntegerForm& form, SettingsScratch out, size_t* length) {
  size_t skip = AsciiStrLen(form.prefix);
  uint64_t max = form.width == 8 ? ~uint64_t{0} : (uint64_t{1} << (form.width * 8)) - 1;
  uint64_t v = 0;
  if (!ParseUnsigned(t.data + skip, t.size - skip, max, &v)) return "integer value is not a number of its width";
  if (out.size < form.width) return "value too long";
  for (size_t i = 0; i < form.width; ++i) out.data[i] = static_cast<uint8_t>(v >> (8 * i));
  *length = form.width;
  return nullptr;
}

// "text", hex:0A0B..., u8:N, u16:N, u32:N or u64:N.
const char* DecodeValue(const Token& t, SettingsScratch out, size_t* length) {
  if (t.quoted) return Unescape(t, out, length);
  if (StartsWith(t.data, t.size, "hex:")) return DecodeHexBytes(t.data + 4, t.size - 4, out, length);
  for (const IntegerForm& form : kIntegerForms) {
    if (StartsWith(t.data, t.size, form.prefix)) return DecodeInteger(t, form, out, length);
  }
  return "value is neither \"text\", hex:, u8:, u16:, u32: nor u64:";
}

struct DirectiveContext {
  LineReader* reader;
  SettingsScratch scratch;
  const SettingsSink* sink;
};

// var NAMESPACE NAME ATTRIBUTES VALUE
const char* ParseVarLine(DirectiveContext& c) {
  Token space, name, attributes, value;
  const char* error = RequireToken(c.reader, &space, "var needs a namespace");
  if (!error) error = RequireToken(c.reader, &name, "var needs a name");
  if (!error) error = RequireToken(c.reader, &attributes, "var needs attributes");
  if (!error) error = RequireToken(c.reader, &value, "var needs a value");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;

  SettingsVariable variable;
  if ((error = ParseNamespace(space, &variable.vendor))) return error;
  size_t name_length = 0;
  if ((error = Unescape(name, c.scratch, &name_length))) return error;
  if ((error = Utf8ToUcs2(c.scratch.data, name_length, variable.name, kSettingsMaxNameLength))) return error;
  uint64_t bits = 0;
  if (!ParseHexNumber(attributes, 0xFFFFFFFFu, &bits)) return "attributes are not a 32-bit hexadecimal number";
  variable.attributes = static_cast<UINT32>(bits);
  variable.partition = 0;
  if (!value.quoted && StartsWith(value.data, value.size, "partition:")) {
    // partition:N:TEXT, N decimal from 1
    size_t at = 10;
    uint64_t number = 0;
    while (at < value.size && value.data[at] >= '0' && value.data[at] <= '9' && number < 1000) {
      number = number * 10 + (value.data[at++] - '0');
    }
    if (number == 0 || at >= value.size || value.data[at] != ':') return "partition: value needs partition:N:TEXT";
    ++at;
    if (value.size - at > c.scratch.size) return "value too long";
    MemCopy(c.scratch.data, value.data + at, value.size - at);
    variable.value_size = value.size - at;
    variable.partition = static_cast<UINT32>(number);
  } else if ((error = DecodeValue(value, c.scratch, &variable.value_size))) {
    return error;
  }
  variable.value = c.scratch.data;
  if (c.sink->variable) c.sink->variable(c.sink->context, variable);
  return nullptr;
}

// exit-qemu on-return | never
const char* ParseExitQemuLine(DirectiveContext& c) {
  Token when;
  const char* error = RequireToken(c.reader, &when, "exit-qemu needs on-return or never");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  QemuExitPolicy policy;
  if (TokenIs(when, "on-return")) {
    policy = QemuExitPolicy::kOnReturn;
  } else if (TokenIs(when, "never")) {
    policy = QemuExitPolicy::kNever;
  } else {
    return "exit-qemu needs on-return or never";
  }
  if (c.sink->exit_qemu) c.sink->exit_qemu(c.sink->context, policy);
  return nullptr;
}

// The SMC stores numbers big-endian: the integer forms are turned around.
const char* DecodeSmcValue(const Token& t, SettingsScratch out, size_t* length) {
  const char* error = DecodeValue(t, out, length);
  if (error) return error;
  if (*length == 0 || *length > kSettingsMaxSmcValueSize) return "smc value must be 1 to 32 bytes";
  if (!t.quoted && !StartsWith(t.data, t.size, "hex:")) {
    for (size_t i = 0, j = *length - 1; i < j; ++i, --j) {
      uint8_t held = out.data[i];
      out.data[i] = out.data[j];
      out.data[j] = held;
    }
  }
  return nullptr;
}

const char* DecodeSmcKeyName(DirectiveContext& c, const Token& name, UINT32* key) {
  size_t length = 0;
  if (const char* error = Unescape(name, c.scratch, &length)) return error;
  if (length != 4) return "smc key must be four characters";
  *key = 0;
  for (size_t i = 0; i < 4; ++i) {
    if (c.scratch.data[i] < 0x20 || c.scratch.data[i] > 0x7E) return "smc key must be printable ASCII";
    *key = (*key << 8) | c.scratch.data[i];
  }
  return nullptr;
}

// smc KEY VALUE
const char* ParseSmcLine(DirectiveContext& c) {
  Token name, value;
  const char* error = RequireToken(c.reader, &name, "smc needs a key");
  if (!error) error = RequireToken(c.reader, &value, "smc needs a value");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  SettingsSmcKey key{0, nullptr, 0};
  if ((error = DecodeSmcKeyName(c, name, &key.key))) return error;
  if ((error = DecodeSmcValue(value, c.scratch, &key.value_size))) return error;
  key.value = c.scratch.data;
  if (c.sink->smc_key) c.sink->smc_key(c.sink->context, key);
  return nullptr;
}

// smc-schedule KEY SECONDS VALUE... (values decoded one after another into the scratch)
const char* ParseSmcScheduleLine(DirectiveContext& c) {
  Token name, seconds_token, value;
  const char* error = RequireToken(c.reader, &name, "smc-schedule needs a key");
  if (!error) error = RequireToken(c.reader, &seconds_token, "smc-schedule needs a period in seconds");
  if (error) return error;
  SettingsSmcSchedule schedule{0, 0, nullptr, 0, 0};
  if ((error = DecodeSmcKeyName(c, name, &schedule.key))) return error;
  uint64_t seconds = 0;
  if (seconds_token.quoted || !ParseUnsigned(seconds_token.data, seconds_token.size, 86400, &seconds) || seconds == 0) {
    return "smc-schedule period must be 1 to 86400 seconds";
  }
  schedule.seconds = uint32_t(seconds);
  size_t used = 0;
  for (;;) {
    Next next = NextToken(c.reader, &value, &error);
    if (next == Next::kError) return error;
    if (next == Next::kEnd) break;
    if (schedule.count == kSettingsMaxSmcScheduleValues) return "smc-schedule takes at most 16 values";
    size_t length = 0;
    if ((error = DecodeSmcValue(value, SettingsScratch{c.scratch.data + used, c.scratch.size - used}, &length))) {
      return error;
    }
    if (schedule.count > 0 && length != schedule.value_size) return "smc-schedule values must all have one size";
    schedule.value_size = length;
    used += length;
    ++schedule.count;
  }
  if (schedule.count == 0) return "smc-schedule needs at least one value";
  schedule.values = c.scratch.data;
  if (c.sink->smc_schedule) c.sink->smc_schedule(c.sink->context, schedule);
  return nullptr;
}

// signing-key NAME HEX-MODULUS
const char* ParseSigningKeyLine(DirectiveContext& c) {
  Token name, modulus;
  const char* error = RequireToken(c.reader, &name, "signing-key needs a name");
  if (!error) error = RequireToken(c.reader, &modulus, "signing-key needs a hexadecimal modulus");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  if (name.quoted) return "signing-key name must be a bare word";
  if (modulus.quoted) return "signing-key modulus must be hexadecimal digits";
  SettingsSigningKey key{reinterpret_cast<const char*>(name.data), name.size, c.scratch.data, 0};
  if ((error = DecodeHexBytes(modulus.data, modulus.size, c.scratch, &key.modulus_size))) return error;
  if (c.sink->signing_key) c.sink->signing_key(c.sink->context, key);
  return nullptr;
}

// input-events REVISION
const char* ParseInputEventsLine(DirectiveContext& c) {
  Token revision;
  const char* error = RequireToken(c.reader, &revision, "input-events needs a revision");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  uint64_t value = 0;
  if (revision.quoted || !ParseUnsigned(revision.data, revision.size, 0xFFFFFFFFu, &value)) {
    return "input-events revision is not a number";
  }
  if (c.sink->input_events) c.sink->input_events(c.sink->context, value);
  return nullptr;
}

// key-map
const char* ParseKeyMapLine(DirectiveContext& c) {
  if (const char* error = RequireEnd(c.reader)) return error;
  if (c.sink->key_map) c.sink->key_map(c.sink->context);
  return nullptr;
}

// simple-pointer
const char* ParseSimplePointerLine(DirectiveContext& c) {
  if (const char* error = RequireEnd(c.reader)) return error;
  if (c.sink->simple_pointer) c.sink->simple_pointer(c.sink->context);
  return nullptr;
}

// block-read
const char* ParseBlockReadLine(DirectiveContext& c) {
  if (const char* error = RequireEnd(c.reader)) return error;
  if (c.sink->block_read) c.sink->block_read(c.sink->context);
  return nullptr;
}

// console-start text|graphics
const char* ParseConsoleStartLine(DirectiveContext& c) {
  Token mode;
  const char* error = RequireToken(c.reader, &mode, "console-start needs text or graphics");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  if (!TokenIs(mode, "text") && !TokenIs(mode, "graphics")) return "console-start needs text or graphics";
  if (c.sink->console_start) c.sink->console_start(c.sink->context, TokenIs(mode, "graphics"));
  return nullptr;
}

// background-color 0xRRGGBB|none|failing
const char* ParseBackgroundColorLine(DirectiveContext& c) {
  Token value;
  const char* error = RequireToken(c.reader, &value, "background-color needs 0xRRGGBB, none or failing");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  BackgroundColorMode mode = BackgroundColorMode::kColor;
  uint64_t rgb = 0;
  if (TokenIs(value, "none")) {
    mode = BackgroundColorMode::kAbsent;
  } else if (TokenIs(value, "failing")) {
    mode = BackgroundColorMode::kFailing;
  } else if (value.quoted || !ParseUnsigned(value.data, value.size, 0xFFFFFF, &rgb)) {
    return "background-color needs 0xRRGGBB, none or failing";
  }
  if (c.sink->background_color) c.sink->background_color(c.sink->context, mode, static_cast<uint32_t>(rgb));
  return nullptr;
}

// gop-mode WIDTHxHEIGHT
const char* ParseGopModeLine(DirectiveContext& c) {
  Token size;
  const char* error = RequireToken(c.reader, &size, "gop-mode needs WIDTHxHEIGHT");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  size_t x = 0;
  while (x < size.size && size.data[x] != 'x') ++x;
  uint64_t width = 0, height = 0;
  if (size.quoted || x == size.size || !ParseUnsigned(size.data, x, 65535, &width) ||
      !ParseUnsigned(size.data + x + 1, size.size - x - 1, 65535, &height) || !width || !height) {
    return "gop-mode needs WIDTHxHEIGHT";
  }
  if (c.sink->gop_mode) c.sink->gop_mode(c.sink->context, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
  return nullptr;
}

// hearth-source volume|network
const char* ParseHearthSourceLine(DirectiveContext& c) {
  Token source;
  const char* error = RequireToken(c.reader, &source, "hearth-source needs volume or network");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  if (!TokenIs(source, "volume") && !TokenIs(source, "network")) return "hearth-source needs volume or network";
  if (c.sink->hearth_source) c.sink->hearth_source(c.sink->context, TokenIs(source, "network"));
  return nullptr;
}

// network-latency MILLISECONDS
const char* ParseNetworkLatencyLine(DirectiveContext& c) {
  Token value;
  const char* error = RequireToken(c.reader, &value, "network-latency needs milliseconds");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  uint64_t ms = 0;
  if (value.quoted || !ParseUnsigned(value.data, value.size, 60000, &ms)) return "network-latency needs 0 to 60000 milliseconds";
  if (c.sink->network_latency) c.sink->network_latency(c.sink->context, static_cast<uint32_t>(ms));
  return nullptr;
}

// audio [MILLISECONDS]
const char* ParseAudioLine(DirectiveContext& c) {
  Token value;
  const char* error = nullptr;
  uint64_t ms = 0;
  Next next = NextToken(c.reader, &value, &error);
  if (next == Next::kError) return error;
  if (next != Next::kEnd) {
    if ((error = RequireEnd(c.reader))) return error;
    if (value.quoted || !ParseUnsigned(value.data, value.size, 60000, &ms) || ms == 0) {
      return "audio takes 1 to 60000 milliseconds";
    }
  }
  if (c.sink->audio) c.sink->audio(c.sink->context, static_cast<uint32_t>(ms));
  return nullptr;
}

// beep
const char* ParseBeepLine(DirectiveContext& c) {
  if (const char* error = RequireEnd(c.reader)) return error;
  if (c.sink->beep) c.sink->beep(c.sink->context);
  return nullptr;
}

// firmware-picture NAME PATH
const char* ParseFirmwarePictureLine(DirectiveContext& c) {
  Token name, path;
  const char* error = RequireToken(c.reader, &name, "firmware-picture needs a name");
  if (!error) error = RequireToken(c.reader, &path, "firmware-picture needs a path");
  if (!error) error = RequireEnd(c.reader);
  if (error) return error;
  SettingsFirmwarePicture picture{};
  if (name.quoted || name.size == 0 || name.size > kSettingsMaxPictureName) {
    return "firmware-picture name is a bare word of at most 31 characters";
  }
  for (size_t i = 0; i < name.size; ++i) {
    if (name.data[i] < 0x21 || name.data[i] > 0x7E) return "firmware-picture name is a bare word of at most 31 characters";
    picture.name[i] = static_cast<char>(name.data[i]);
  }
  size_t length = 0;
  if ((error = Unescape(path, c.scratch, &length))) return error;
  if (length == 0 || c.scratch.data[0] != '\\') return "firmware-picture path must start with \\";
  if ((error = Utf8ToUcs2(c.scratch.data, length, picture.path, kSettingsMaxPicturePath))) return error;
  if (c.sink->firmware_picture) c.sink->firmware_picture(c.sink->context, picture);
  return nullptr;
}

// A new directive is one line here and one parse function.
struct Directive {
  const char* keyword;
  const char* (*parse)(DirectiveContext& context);
};
constexpr Directive kDirectives[] = {
    {"var", ParseVarLine},
    {"exit-qemu", ParseExitQemuLine},
    {"smc", ParseSmcLine},
    {"smc-schedule", ParseSmcScheduleLine},
    {"signing-key", ParseSigningKeyLine},
    {"input-events", ParseInputEventsLine},
    {"key-map", ParseKeyMapLine},
    {"simple-pointer", ParseSimplePointerLine},
    {"console-start", ParseConsoleStartLine},
    {"background-color", ParseBackgroundColorLine},
    {"gop-mode", ParseGopModeLine},
    {"hearth-source", ParseHearthSourceLine},
    {"network-latency", ParseNetworkLatencyLine},
    {"audio", ParseAudioLine},
    {"beep", ParseBeepLine},
    {"firmware-picture", ParseFirmwarePictureLine},
    {"block-read", ParseBlockReadLine},
};

// Returns null for a good, blank or comment line, else why the line is malformed.
const char* ParseLine(ByteSpan line, SettingsScratch scratch, const SettingsSink& sink) {
  LineReader reader{line, 0};
  Token keyword;
  const char* error = nullptr;
  Next next = NextToken(&reader, &keyword, &error);
  if (next == Next::kEnd) return nullptr;
  if (next == Next::kError) return error;
  DirectiveContext context{&reader, scratch, &sink};
  for (const Directive& directive : kDirectives) {
    if (TokenIs(keyword, directive.keyword)) return directive.parse(context);
  }
  return "unknown directive";
}

}  // namespace

bool ParseSettingsGuid(const char* text, size_t length, EFI_GUID* guid) {
  if (length == 38 && text[0] == '{' && text[37] == '}') {
    ++text;
    length -= 2;
  }
  if (length != 36) return false;
  uint8_t bytes[16];
  size_t count = 0;
  for (size_t i = 0; i < 36; ++i) {
    bool dash_here = (i == 8 || i == 13 || i == 18 || i == 23);
    if (dash_here != (text[i] == '-')) return false;
    if (dash_here) continue;
    int high = HexValue(static_cast<uint8_t>(text[i]));
    int low = HexValue(static_cast<uint8_t>(text[i + 1]));
    if (high < 0 || low < 0) return false;
    bytes[count++] = static_cast<uint8_t>(high * 16 + low);
    ++i;
  }
  // The first three groups are numbers; the last two are a byte string.
  guid->Data1 = LoadBe32(bytes);
  guid->Data2 = static_cast<UINT16>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<UINT16>((bytes[6] << 8) | bytes[7]);
  MemCopy(guid->Data4, bytes + 8, 8);
  return true;
}

size_t ParsePlatformSettings(ByteSpan text, SettingsScratch scratch, const SettingsSink& sink) {
  const uint8_t* data = text.data();
  size_t size = text.size();
  size_t pos = StartsWith(data, size, "\xEF\xBB\xBF") ? 3 : 0;
  size_t line_number = 0;
  size_t malformed = 0;
  while (pos < size) {
    size_t end = pos;
    while (end < size && data[end] != '\n') ++end;
    size_t length = end - pos;
    if (length > 0 && data[end - 1] == '\r') --length;
    ++line_number;
    if (const char* reason = ParseLine(ByteSpan(data + pos, length), scratch, sink)) {
      ++malformed;
      if (sink.malformed) sink.malformed(sink.context, line_number, reason);
    }
    pos = end + 1;
  }
  return malformed;
}
