// hearthtool uchr compile|inspect|type: keyboard layouts in the 'uchr' format.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lib/span.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/uchr_keys.h"
#include "tools/lib/uchr_writer.h"
#include "tools/lib/uchr_xkb.h"
#include "ui/key_codes.h"
#include "ui/key_translate.h"
#include "ui/text_input.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: hearthtool uchr compile [--variant NAME] [--compose FILE] LAYOUT OUT.uchr\n"
               "       hearthtool uchr inspect [--keys] FILE.uchr\n"
               "       hearthtool uchr type [--keyboard-type N] FILE.uchr KEY...\n\n"
               "compile  builds a 'uchr' keyboard layout from an XKB layout of xkb-data (us, gb, de, fr,\n"
               "         es, it, se, nl, jp, ru, ...), dead keys composed by the X11 compose table\n"
               "inspect  checks a layout and explains its tables; --keys lists every key's output\n"
               "type     types keys through the boot loader's translator and prints the text; a KEY is\n"
               "         [command+][shift+][caps+][option+][control+]NAME, NAME a key by its US\n"
               "         position (a, 1, -, space, backspace, left, iso, ...) or a HID usage (0x2c);\n"
               "         keyboard types 46 (ANSI, default), 47 (ISO), 45 (JIS)\n");
}

int Compile(const std::vector<std::string>& args) {
  UchrXkbSource source;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if ((args[i] == "--variant" || args[i] == "--compose") && i + 1 < args.size()) {
      (args[i] == "--variant" ? source.variant : source.compose_file) = args[i + 1];
      ++i;
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.size() != 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  source.layout = rest[0];
  UchrLayout layout;
  std::string error;
  std::vector<uint8_t> bytes;
  if (!CompileUchrFromXkb(source, &layout, &error) || !WriteUchr(layout, &bytes, &error)) {
    std::fprintf(stderr, "hearthtool uchr: %s\n", error.c_str());
    return kExitBadInput;
  }
  return WriteWholeFile(rest[1], bytes) ? kExitOk : kExitIoError;
}

const char* ModifierName(uint32_t m) {
  static char name[64];
  name[0] = '\0';
  const char* names[] = {"command", "shift", "caps", "option", "control"};
  for (int b = 0; b < 5; ++b) {
    if (!(m & (1u << b))) continue;
    if (name[0]) std::strcat(name, "+");
    std::strcat(name, names[b]);
  }
  return name[0] ? name : "none";
}

struct KeyboardRecord {
  uint32_t first, last, modifiers, key_tables, states, terminators, sequences;
};

// One key-down through the translator with a fresh state; "dead N" for a dead key.
std::string DescribeKey(const EFIKeyLayout& layout, uint16_t key, uint32_t modifiers, uint32_t type, bool* failed) {
  char16_t out[32];
  UINTN length = 0;
  UINT32 state = 0;
  if (EFIKeyTranslate(&layout, key, kEFIKeyActionDown, modifiers, type, 0, &state, 32, &length, out) != 0) {
    *failed = true;
    return "(error)";
  }
  std::string text = DescribeUtf16(out, length);
  if (state & 0xFFFF) text += "dead " + std::to_string(state & 0xFFFF);
  return text;
}

int Inspect(const std::vector<std::string>& args) {
  bool keys = false;
  std::string path;
  for (const auto& a : args) {
    if (a == "--keys") keys = true;
    else if (path.empty()) path = a;
    else path.clear();
  }
  if (path.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(path, &bytes)) return kExitIoError;
  ByteSpan span(bytes.data(), bytes.size());
  uint16_t format = 0, version = 0;
  uint32_t count = 0;
  if (!span.ReadLe16(0, &format) || format != kUchrHeaderFormat || !span.ReadLe16(2, &version) ||
      !span.ReadLe32(8, &count) || count == 0 || !span.Contains(kUchrHeaderSize, size_t{count} * kUchrKeyboardRecordSize)) {
    std::fprintf(stderr, "hearthtool uchr: %s is not a 'uchr' layout (format %04X)\n", path.c_str(), format);
    return kExitBadInput;
  }
  std::printf("'uchr' layout, %zu bytes, data version %u, %u keyboard-type record(s)\n", bytes.size(), version, count);
  EFIKeyLayout layout{bytes.data(), bytes.size()};
  bool failed = false;
  for (uint32_t i = 0; i < count; ++i) {
    KeyboardRecord r;
    span.Read(kUchrHeaderSize + i * kUchrKeyboardRecordSize, &r);
    std::printf("\nkeyboard types %u-%u%s\n", r.first, r.last, i == 0 ? " (the default)" : "");
    uint16_t default_table = 0, table_size = 0, state_count = 0, terminator_count = 0, sequence_count = 0;
    uint32_t combos = 0, tables = 0;
    span.ReadLe16(r.modifiers + 2, &default_table);
    span.ReadLe32(r.modifiers + 4, &combos);
    span.ReadLe16(r.key_tables + 2, &table_size);
    span.ReadLe32(r.key_tables + 4, &tables);
    if (r.states) span.ReadLe16(r.states + 2, &state_count);
    if (r.terminators) span.ReadLe16(r.terminators + 2, &terminator_count);
    if (r.sequences) span.ReadLe16(r.sequences + 2, &sequence_count);
    std::printf("  %u key tables of %u keys, default table %u; %u state records, %u dead states, %u sequences\n",
                tables, table_size, default_table, state_count, terminator_count, sequence_count);
    // A keyboard type this record answers to, for the translator.
    uint32_t type = i == 0 ? 0 : r.first;
    for (uint32_t m = 0; m < combos && m < 256; ++m) {
      uint8_t table = 0;
      if (!span.ReadU8(r.modifiers + 8 + m, &table)) {
        std::printf("  modifier table cut short\n");
        failed = true;
        break;
      }
      if (m & kEFIKeyModifierCommand) continue;
      std::printf("  modifiers %-28s table %u\n", ModifierName(m), table);
      for (uint16_t key = 0; key < table_size; ++key) {
        std::string text = DescribeKey(layout, key, m, type, &failed);
        if (keys && !text.empty()) std::printf("    key %3u  %s\n", key, text.c_str());
      }
    }
    for (uint32_t s = 1; s <= terminator_count; ++s) {
      uint16_t t = 0;
      span.ReadLe16(r.terminators + 4 + 2 * (s - 1), &t);
      char16_t unit = t;
      std::printf("  dead state %u ends as %s\n", s, t < 0xFFFE ? DescribeUtf16(&unit, 1).c_str() : "nothing");
    }
  }
  if (failed) {
    std::fprintf(stderr, "hearthtool uchr: %s: some keys do not translate (corrupt tables)\n", path.c_str());
    return kExitBadInput;
  }
  return kExitOk;
}

int Type(const std::vector<std::string>& args) {
  uint32_t type = 46;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--keyboard-type" && i + 1 < args.size()) {
      type = static_cast<uint32_t>(std::strtoul(args[++i].c_str(), nullptr, 0));
    } else {
      rest.push_back(args[i]);
    }
  }
  if (rest.size() < 2) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(rest[0], &bytes)) return kExitIoError;
  EFIKeyLayout layout{bytes.data(), bytes.size()};
  EFITextInput input{};
  for (size_t i = 1; i < rest.size(); ++i) {
    uint32_t usage = 0, modifiers = 0;
    if (!ParseKeyStroke(rest[i], &usage, &modifiers)) {
      std::fprintf(stderr, "hearthtool uchr: unknown key '%s'\n", rest[i].c_str());
      return kExitUsage;
    }
    uint8_t key = UIVirtualKeyForUsage(usage, type);
    if (key == kUINoVirtualKey) continue;
    if (EFITextInputAppend(&input, &layout, key, modifiers, type) != 0) {
      std::fprintf(stderr, "hearthtool uchr: %s: the layout is corrupt\n", rest[0].c_str());
      return kExitBadInput;
    }
  }
  std::printf("%s\n", DescribeUtf16(input.text, EFITextInputLength(&input)).c_str());
  return kExitOk;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    PrintUsage(args.empty() ? stderr : stdout);
    return args.empty() ? kExitUsage : kExitOk;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "compile") return Compile(rest);
  if (args[0] == "inspect") return Inspect(rest);
  if (args[0] == "type") return Type(rest);
  std::fprintf(stderr, "hearthtool uchr: unknown action '%s'\n\n", args[0].c_str());
  PrintUsage(stderr);
  return kExitUsage;
}

}  // namespace

HEARTHTOOL_COMMAND(uchr_command, "uchr", "compile, inspect or type through keyboard layouts", Run);
