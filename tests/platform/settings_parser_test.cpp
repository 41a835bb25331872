#include "flags/guids.h"
#include "platform/settings_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "efi/system_table.h"

namespace {

constexpr EFI_GUID kBootInfo = {0x8D63D4FE, 0xBD3C, 0x4AAD, {0x88, 0x1D, 0x86, 0xFD, 0x97, 0x4B, 0xC1, 0xDF}};

struct Variable {
  EFI_GUID vendor;
  std::u16string name;
  uint32_t attributes;
  std::vector<uint8_t> value;
};

struct Collected {
  std::vector<Variable> variables;
  std::vector<QemuExitPolicy> exits;
  std::vector<std::pair<size_t, std::string>> malformed;
  size_t malformed_count = 0;
};

// Parses text with an exactly sized scratch in its own allocation, so that AddressSanitizer
// sees any write past it.
Collected Parse(const std::string& text, size_t scratch_size = SIZE_MAX) {
  Collected c;
  SettingsSink sink{
      &c,
      [](void* ctx, const SettingsVariable& v) {
        static_cast<Collected*>(ctx)->variables.push_back(
            {v.vendor, v.name, v.attributes, std::vector<uint8_t>(v.value, v.value + v.value_size)});
      },
      [](void* ctx, QemuExitPolicy p) { static_cast<Collected*>(ctx)->exits.push_back(p); },
      [](void* ctx, size_t line, const char* reason) {
        static_cast<Collected*>(ctx)->malformed.push_back({line, reason});
      },
      nullptr,
  };
  std::vector<uint8_t> input(text.begin(), text.end());
  if (scratch_size == SIZE_MAX) scratch_size = SettingsScratchSize(input.size());
  std::vector<uint8_t> scratch(scratch_size);
  c.malformed_count = ParsePlatformSettings(ByteSpan(input.data(), input.size()),
                                            SettingsScratch{scratch.data(), scratch.size()}, sink);
  return c;
}

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(SettingsParser, ExampleLineSetsTheBootArguments) {
  Collected c = Parse("var boot boot-args 7 \"-v debug=0x100\"\n");
  ASSERT_EQ(c.variables.size(), 1u);
  EXPECT_TRUE(GuidEqual(c.variables[0].vendor, TarnBootGuid));
  EXPECT_EQ(c.variables[0].name, u"boot-args");
  EXPECT_EQ(c.variables[0].attributes, 7u);
  EXPECT_EQ(c.variables[0].value, Bytes("-v debug=0x100"));  // no terminator
  EXPECT_EQ(c.malformed_count, 0u);
}

TEST(SettingsParser, ValueForms) {
  struct Case {
    const char* value;
    std::vector<uint8_t> bytes;
  };
  const Case cases[] = {
      {"\"\"", {}},
      {"\"a#b\"", Bytes("a#b")},
      {"\"q\\\"\\\\\\n\\r\\t\\x00\\xfF\"", {'q', '"', '\\', '\n', '\r', '\t', 0x00, 0xFF}},
      {"hex:", {}},
      {"hex:0A0b", {0x0A, 0x0B}},
      {"u8:255", {0xFF}},
      {"u16:0x1234", {0x34, 0x12}},
      {"u32:1", {1, 0, 0, 0}},
      {"u32:0xFFFFFFFF", {0xFF, 0xFF, 0xFF, 0xFF}},
      {"u64:18446744073709551615", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
      {"u64:0x0102030405060708", {8, 7, 6, 5, 4, 3, 2, 1}},
  };
  for (const Case& tc : cases) {
    Collected c = Parse(std::string("var boot x 7 ") + tc.value);
    ASSERT_EQ(c.variables.size(), 1u) << tc.value << ": " << (c.malformed.empty() ? "" : c.malformed[0].second);
    EXPECT_EQ(c.variables[0].value, tc.bytes) << tc.value;
  }
}

TEST(SettingsParser, NamespacesNamesAndAttributes) {
  Collected c = Parse(
      "var vendor a 0x3 u8:1\n"
      "var global BootNext 7 u16:0x81\n"
      "var bootinfo b 80000007 u8:1\n"
      "var {12345678-9ABC-DEF0-1122-334455667788} \"csr-active-config\" 0X1 u32:0x67\n"
      "var 12345678-9abc-def0-1122-334455667788 \"caf\xC3\xA9 \xE2\x82\xAC\" 1 u8:1\n");
  ASSERT_EQ(c.variables.size(), 5u) << c.malformed[0].second;
  EXPECT_TRUE(GuidEqual(c.variables[0].vendor, TarnVendorGuid));
  EXPECT_EQ(c.variables[0].attributes, 3u);
  EXPECT_TRUE(GuidEqual(c.variables[1].vendor, kEfiGlobalVariableGuid));
  EXPECT_TRUE(GuidEqual(c.variables[2].vendor, kBootInfo));
  EXPECT_EQ(c.variables[2].attributes, 0x80000007u);
  const EFI_GUID custom = {0x12345678, 0x9ABC, 0xDEF0, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}};
  EXPECT_TRUE(GuidEqual(c.variables[3].vendor, custom));
  EXPECT_EQ(c.variables[3].name, u"csr-active-config");
  EXPECT_TRUE(GuidEqual(c.variables[4].vendor, custom));
  EXPECT_EQ(c.variables[4].name, u"caf\u00E9 \u20AC");
}

TEST(SettingsParser, CommentsBlankLinesLineEndingsAndByteOrderMark) {
  Collected c = Parse(
      "\xEF\xBB\xBF# settings\r\n"
      "\r\n"
      "   \t  \n"
      "var boot a 7 u8:1   # trailing comment\r\n"
      "exit-qemu on-return\n"
      "exit-qemu never#no space needed\n"
      "var boot b 7 u8:2");  // last line without a newline
  EXPECT_EQ(c.malformed_count, 0u) << c.malformed[0].first << ": " << c.malformed[0].second;
  ASSERT_EQ(c.variables.size(), 2u);
  EXPECT_EQ(c.variables[1].name, u"b");
  EXPECT_EQ(c.exits, (std::vector<QemuExitPolicy>{QemuExitPolicy::kOnReturn, QemuExitPolicy::kNever}));
}

TEST(SettingsParser, MalformedLinesAreReportedWithTheirNumberAndSkipped) {
  const char* bad[] = {
      "frobnicate 1",                      // unknown directive
      "\"var\" boot a 7 u8:1",             // a quoted keyword is no keyword
      "var",                               // missing everything
      "var boot a 7",                      // missing value
      "var boot a 7 u8:1 extra",           // trailing word
      "var nowhere a 7 u8:1",              // unknown namespace
      "var {12345678-9ABC-DEF0-1122-33445566778} a 7 u8:1",  // short GUID
      "var 12345678-9ABC-DEF0-1122_334455667788 a 7 u8:1",   // wrong separator
      "var boot a 7g u8:1",                // attributes not hexadecimal
      "var boot a 100000000 u8:1",         // attributes beyond 32 bits
      "var boot a \"7\" u8:1",             // quoted attributes
      "var boot a 7 u8:256",               // out of range
      "var boot a 7 u16:65536",
      "var boot a 7 u64:18446744073709551616",
      "var boot a 7 u32:",                 // no digits
      "var boot a 7 u32:0x",
      "var boot a 7 u32:-1",
      "var boot a 7 hex:0",                // odd digit count
      "var boot a 7 hex:0G",
      "var boot a 7 text",                 // bare word value
      "var boot a 7 \"open",               // unterminated
      "var boot a 7 \"ends with backslash\\\"",
      "var boot a 7 \"bad \\q escape\"",
      "var boot a 7 \"\\x4\"",             // short \x
      "var boot a 7 \"a\"b",               // text after the closing quote
      "var boot \"\" 7 u8:1",              // empty name
      "var boot \"a\\x00b\" 7 u8:1",       // NUL in a name
      "var boot \"\xC3\" 7 u8:1",          // truncated UTF-8
      "var boot \"\xC0\xAF\" 7 u8:1",      // overlong
      "var boot \"\xED\xA0\x80\" 7 u8:1",  // surrogate
      "var boot \"\xF0\x9F\x98\x80\" 7 u8:1",  // beyond the basic plane
      "var boot \"\x80\" 7 u8:1",          // stray continuation byte
      "exit-qemu",
      "exit-qemu sometimes",
      "exit-qemu on-return now",
  };
  std::string text;
  size_t line = 0;
  for (const char* b : bad) {
    text += "var boot good 7 u8:1\n";
    text += b;
    text += "\n";
    line += 2;
  }
  Collected c = Parse(text);
  EXPECT_EQ(c.variables.size(), std::size(bad));  // the good lines still count
  ASSERT_EQ(c.malformed.size(), std::size(bad));
  EXPECT_EQ(c.malformed_count, std::size(bad));
  for (size_t i = 0; i < std::size(bad); ++i) {
    EXPECT_EQ(c.malformed[i].first, 2 * (i + 1)) << bad[i];
    EXPECT_FALSE(c.malformed[i].second.empty());
  }
  EXPECT_TRUE(c.exits.empty());
}

TEST(SettingsParser, NameLengthLimit) {
  std::string longest(kSettingsMaxNameLength, 'n');
  Collected ok = Parse("var boot " + longest + " 7 u8:1");
  ASSERT_EQ(ok.variables.size(), 1u);
  EXPECT_EQ(ok.variables[0].name.size(), kSettingsMaxNameLength);
  Collected too_long = Parse("var boot " + longest + "n 7 u8:1");
  EXPECT_TRUE(too_long.variables.empty());
  EXPECT_EQ(too_long.malformed_count, 1u);
}

TEST(SettingsParser, ValuesThatDoNotFitTheScratchMakeTheLineMalformed) {
  // A scratch smaller than the recommended size never overflows; the line is refused.
  Collected text = Parse("var boot a 7 \"0123456789\"", 4);
  EXPECT_TRUE(text.variables.empty());
  EXPECT_EQ(text.malformed_count, 1u);
  Collected hex = Parse("var boot a 7 hex:00112233445566", 4);
  EXPECT_TRUE(hex.variables.empty());
  Collected wide = Parse("var boot a 7 u64:1", 4);
  EXPECT_TRUE(wide.variables.empty());
  Collected fits = Parse("var boot a 7 hex:00112233", 4);
  EXPECT_EQ(fits.variables.size(), 1u);
}

TEST(SettingsParser, SurvivesNulBytesAndEmptyInput) {
  EXPECT_EQ(Parse("").malformed_count, 0u);
  Collected c = Parse(std::string("var boot a 7 \"x\0y\"\n\0\n", 21));
  ASSERT_EQ(c.variables.size(), 1u);
  EXPECT_EQ(c.variables[0].value, (std::vector<uint8_t>{'x', 0, 'y'}));
  EXPECT_EQ(c.malformed_count, 1u);  // the lone NUL is an unknown directive
}

TEST(SettingsParser, NullCallbacksAreAllowed) {
  std::string text = "var boot a 7 u8:1\nexit-qemu never\nbogus\n";
  std::vector<uint8_t> scratch(SettingsScratchSize(text.size()));
  SettingsSink sink{nullptr, nullptr, nullptr, nullptr, nullptr};
  EXPECT_EQ(ParsePlatformSettings(ByteSpan(text.data(), text.size()), SettingsScratch{scratch.data(), scratch.size()},
                                  sink),
            1u);
}

}  // namespace

namespace {

struct InputRequests {
  std::vector<uint64_t> revisions;
  int key_maps = 0;
  int pointers = 0;
  std::vector<std::string> malformed;
};

TEST(SettingsParser, InputStandInDirectives) {
  InputRequests r;
  SettingsSink sink{&r, nullptr, nullptr,
                    [](void* ctx, size_t, const char* reason) {
                      static_cast<InputRequests*>(ctx)->malformed.push_back(reason);
                    },
                    nullptr, nullptr,
                    [](void* ctx, uint64_t revision) { static_cast<InputRequests*>(ctx)->revisions.push_back(revision); },
                    [](void* ctx) { ++static_cast<InputRequests*>(ctx)->key_maps; },
                    [](void* ctx) { ++static_cast<InputRequests*>(ctx)->pointers; }};
  std::string text =
      "input-events 7\ninput-events 0x6\nkey-map\nsimple-pointer\n"
      "input-events\ninput-events seven\ninput-events \"7\"\ninput-events 4294967296\nkey-map now\nsimple-pointer 2\n";
  std::vector<uint8_t> scratch(SettingsScratchSize(text.size()));
  size_t bad = ParsePlatformSettings(ByteSpan(text.data(), text.size()), SettingsScratch{scratch.data(), scratch.size()},
                                     sink);
  EXPECT_EQ(r.revisions, (std::vector<uint64_t>{7, 6}));
  EXPECT_EQ(r.key_maps, 1);
  EXPECT_EQ(r.pointers, 1);
  EXPECT_EQ(bad, 6u);
  EXPECT_EQ(r.malformed.size(), 6u);
}

}  // namespace
