#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "config/plist.h"
#include "tests/config/plist_test_support.h"
#include "testfw/test_firmware.h"

namespace {

// Parses a document as a dictionary and dumps it; "error" when the parse fails.
std::string ParseAndDump(const std::string& text, bool array = false) {
  PlistNode* root = nullptr;
  if (EFI_ERROR(ParsePlistCopy(text, &root, array))) return "error";
  std::string dump = DumpPlist(root);
  PlistFree(root);
  return dump;
}

std::string Wrap(const std::string& element) { return "<dict><key>v</key>" + element + "</dict>"; }

struct IntegerCase {
  const char* content;
  int64_t value;
};

TEST(PlistParser, IntegersAreDecimalDigitsAndNothingElse) {
  TestFirmware fw;
  const IntegerCase cases[] = {
      {"42", 42},
      {" -42", -42},
      {"\t 7", 7},
      {"0x10", 0},
      {"+5", 0},
      {"3.5", 0},
      {"12 junk", 12},
      {"12\t", 0},
      {"", 0},
      {"-", 0},
      {"9223372036854775807", INT64_MAX},
      {"-9223372036854775808", INT64_MIN},
      {"18446744073709551615", -1},  // wraps at 64 bits
  };
  for (const auto& c : cases) {
    PlistNode* dict = nullptr;
    ASSERT_EQ(ParsePlistCopy(Wrap(std::string("<integer>") + c.content + "</integer>"), &dict), EFI_SUCCESS);
    PlistNode* value = PlistDictLookup(dict, "v");
    ASSERT_NE(value, nullptr) << c.content;
    EXPECT_EQ(value->type, kPlistInteger);
    EXPECT_EQ(value->integer, c.value) << '"' << c.content << '"';
    PlistFree(dict);
  }
}

struct DumpCase {
  const char* name;
  std::string text;
  std::string dump;
};

TEST(PlistParser, ElementsBecomeNodes) {
  TestFirmware fw;
  const DumpCase cases[] = {
      {"real keeps integer digits", Wrap("<real>3</real><key>w</key><real>2.5</real>"),
       "dict\n  key \"v\"\n    real 3\n  key \"w\"\n    real 0\n"},
      {"date carries no value", Wrap("<date>2024-01-01T00:00:00Z</date>"), "dict\n  key \"v\"\n    date\n"},
      {"booleans", "<dict><key>t</key><true/><key>f</key><false/></dict>",
       "dict\n  key \"t\"\n    true\n  key \"f\"\n    false\n"},
      {"empty containers", "<array><dict/><array/><dict></dict><array></array></array>",
       "array\n  dict\n  array\n  dict\n  array\n"},
      {"writer's own forms read back", "<array><real/><date/><data format=\"hex\">01020304 05</data></array>",
       "array\n  real 0\n  date\n  data 0102030405\n"},
      {"declaration, doctype and plist element are skipped",
       "<?xml version=\"1.0\"?>\n<!DOCTYPE plist>\n<plist version=\"1.0\">\n<dict>\n\t<key>a</key>\n\t<string> x </string>\n</dict>\n</plist>\n",
       "dict\n  key \"a\"\n    string \" x \"\n"},
      {"members keep their order", "<array><integer>1</integer><integer>2</integer><integer>3</integer></array>",
       "array\n  integer 1\n  integer 2\n  integer 3\n"},
      {"key followed by its dict's closing tag consumes it",
       "<plist version=\"1.0\"><dict><key>a</key></dict><key>b</key><string>x</string></plist>",
       "dict\n  key \"a\"\n  key \"b\"\n    string \"x\"\n"},
      {"unknown element ends a dict", "<dict><key>a</key><string>x</string><!-- note --><key>b</key><true/></dict>",
       "dict\n  key \"a\"\n    string \"x\"\n"},
      {"tags inside a string end it at the first of them",
       "<dict><key>a</key><string>x<b>y</b></string></dict>", "dict\n  key \"a\"\n    string \"x<b\"\n"},
      {"a key's value may be another key", "<dict><key>a</key><key>b</key><integer>1</integer></dict>",
       "dict\n  key \"a\"\n    key \"b\"\n      integer 1\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAndDump(c.text, c.text.rfind("<array>", 0) == 0), c.dump) << c.name;
}

TEST(PlistParser, EntitiesFoldInStringsAndKeys) {
  TestFirmware fw;
  const DumpCase cases[] = {
      {"decimal reference", Wrap("<string>&#65;BC</string>"), "dict\n  key \"v\"\n    string \"ABC\"\n"},
      {"named five", Wrap("<string>&amp;&lt;&gt;&apos;&quot;</string>"),
       "dict\n  key \"v\"\n    string \"&<>'\\x22\"\n"},
      {"unknown names and broken references stay",
       Wrap("<string>&nbsp; &#x41; &#; & &amp &#12a;</string>"),
       "dict\n  key \"v\"\n    string \"&nbsp; &#x41; &#; & &amp &#12a;\"\n"},
      {"no second pass over folded text", Wrap("<string>&amp;lt;</string>"),
       "dict\n  key \"v\"\n    string \"&lt;\"\n"},
      {"references keep the low byte", Wrap("<string>&#321;&#195;&#169;</string>"),
       "dict\n  key \"v\"\n    string \"A\\xc3\\xa9\"\n"},
      {"key names fold too", "<dict><key>a&amp;b</key><true/></dict>", "dict\n  key \"a&b\"\n    true\n"},
      {"a NUL reference ends the text", Wrap("<string>ab&#0;cd</string>"),
       "dict\n  key \"v\"\n    string \"ab\"\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAndDump(c.text), c.dump) << c.name;
}

TEST(PlistParser, DataIsBase64WithAnythingElseSkipped) {
  TestFirmware fw;
  const DumpCase cases[] = {
      {"padded to one byte", Wrap("<data>QQ==</data>"), "dict\n  key \"v\"\n    data 41\n"},
      {"padded to two bytes", Wrap("<data>QUI=</data>"), "dict\n  key \"v\"\n    data 4142\n"},
      {"unpadded", Wrap("<data>QUI</data>"), "dict\n  key \"v\"\n    data 4142\n"},
      {"line breaks and tabs", Wrap("<data>\n\tAQID\n\tBAU=\n</data>"), "dict\n  key \"v\"\n    data 0102030405\n"},
      {"empty", Wrap("<data></data>"), "dict\n  key \"v\"\n    data \n"},
      {"the last two letters", Wrap("<data>+/+/</data>"), "dict\n  key \"v\"\n    data fbffbf\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAndDump(c.text), c.dump) << c.name;
}

TEST(PlistParser, DataGrowsPastItsFirstBuffer) {
  TestFirmware fw;
  std::string encoded;
  for (int i = 0; i < 3000; ++i) encoded += "AAEC";  // 9000 bytes of 00 01 02
  PlistNode* dict = nullptr;
  ASSERT_EQ(ParsePlistCopy(Wrap("<data>" + encoded + "</data>"), &dict), EFI_SUCCESS);
  PlistNode* data = PlistDictLookup(dict, "v");
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->dataLength, 9000u);
  for (int i = 0; i < 9000; ++i) ASSERT_EQ(data->data[i], i % 3) << i;
  PlistFree(dict);
}

TEST(PlistParser, TopLevelPicksTheFirstValueOfTheWantedType) {
  TestFirmware fw;
  PlistNode* node = nullptr;
  std::string array_only = "<plist version=\"1.0\"><array><string>x</string></array></plist>";
  EXPECT_EQ(ParsePlistCopy(array_only, &node), EFI_NOT_FOUND);
  EXPECT_EQ(node, nullptr);
  EXPECT_EQ(ParseAndDump(array_only, true), "array\n  string \"x\"\n");
  EXPECT_EQ(ParseAndDump("<string>a</string><dict><key>k</key><true/></dict><dict/>"), "dict\n  key \"k\"\n    true\n");
}

// Text cut short anywhere, unterminated tags, NULs and runaway nesting: the parse fails,
// and the exact-size copy makes any read or write past the end an AddressSanitizer error.
TEST(PlistParser, MalformedTextFailsInsideItsBuffer) {
  TestFirmware fw;
  const std::string whole =
      "<plist version=\"1.0\"><dict><key>a&amp;b</key><string>x &#65;</string><key>d</key><data>AQID</data>"
      "<key>n</key><integer>5</integer><key>l</key><array><true/><date>x</date></array></dict></plist>";
  const size_t dict_end = whole.find("</dict>") + 7;
  for (size_t cut = 0; cut < dict_end; ++cut) {
    PlistNode* node = nullptr;
    EXPECT_EQ(ParsePlistCopy(whole.substr(0, cut), &node), EFI_NOT_FOUND) << cut;
  }
  EXPECT_NE(ParseAndDump(whole.substr(0, dict_end)), "error");
  const char* broken[] = {"", "no tags at all", "<dict", "<dict><key>a</key><string>x</str",
                          "<dict><key>a</key><string>x</string", "<dict><key>a</key>", "<dict><data>QUJD"};
  for (const char* text : broken) EXPECT_EQ(ParseAndDump(text), "error") << text;
  EXPECT_EQ(ParseAndDump(std::string("<dict>\0</dict>", 14)), "error");  // the text ends at its NUL
  PlistNode* node = nullptr;
  EXPECT_EQ(PlistParseDictionary(nullptr, 0, &node), EFI_NOT_FOUND);
  EXPECT_EQ(PlistParseDictionary(nullptr, 5, &node), EFI_INVALID_PARAMETER);
}

TEST(PlistParser, NestingIsBounded) {
  TestFirmware fw;
  auto nested = [](int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += "<array>";
    for (int i = 0; i < levels; ++i) text += "</array>";
    return text;
  };
  EXPECT_NE(ParseAndDump(nested(40), true), "error");
  EXPECT_EQ(ParseAndDump(nested(100000), true), "error");
  std::string keys;
  for (int i = 0; i < 100000; ++i) keys += "<key>k</key>";
  EXPECT_EQ(ParseAndDump("<dict>" + keys + "</dict>"), "error");
}

TEST(PlistParser, LookupsFollowTheTree) {
  TestFirmware fw;
  PlistNode* dict = nullptr;
  ASSERT_EQ(ParsePlistCopy("<dict><string>stray</string><key>a</key><integer>1</integer><key>a</key><integer>2"
                           "</integer><key>list</key><array><integer>10</integer><integer>11</integer></array></dict>",
                           &dict),
            EFI_SUCCESS);
  EXPECT_EQ(PlistDictLookup(dict, "a")->integer, 1);  // the first of equal keys
  EXPECT_EQ(PlistDictLookup(dict, "A"), nullptr);
  EXPECT_EQ(PlistDictLookup(dict, "stray"), nullptr);  // only keys are looked at
  EXPECT_EQ(PlistDictLookup(nullptr, "a"), nullptr);
  PlistNode* list = PlistDictLookup(dict, "list");
  EXPECT_EQ(PlistDictLookup(list, "a"), nullptr);
  EXPECT_EQ(PlistArrayCount(list), 2u);
  EXPECT_EQ(PlistArrayItem(list, 1)->integer, 11);
  EXPECT_EQ(PlistArrayItem(list, 2), nullptr);
  EXPECT_EQ(PlistArrayCount(dict), 0u);
  EXPECT_EQ(PlistArrayItem(dict, 0), nullptr);
  EXPECT_EQ(PlistArrayCount(nullptr), 0u);
  PlistFree(dict);
}

}  // namespace
