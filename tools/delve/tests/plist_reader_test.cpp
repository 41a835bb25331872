#include "tools/delve/plist_reader.h"

#include <gtest/gtest.h>

namespace delve {
namespace {

bool Parse(const std::string& text, PlistValue* root) {
  return ParsePlist(reinterpret_cast<const uint8_t*>(text.data()), text.size(), root);
}

TEST(PlistReaderTest, ReadsADocumentWithPrologue) {
  const std::string text =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//X//DTD PLIST 1.0//EN\" \"http://example.com/x.dtd\">\n"
      "<plist version=\"1.0\"><!-- volumes -->\n"
      "<array>\n"
      "  <dict><key>A&amp;B</key><string>Caf&#xE9; &lt;1&gt; &#65;</string>"
      "<key>n</key><integer>3</integer></dict>\n"
      "  <array/><dict/><string/><true/>\n"
      "</array>\n</plist>\n";
  PlistValue root;
  ASSERT_TRUE(Parse(text + std::string(3, '\0'), &root));
  ASSERT_EQ(PlistValue::Kind::kArray, root.kind);
  ASSERT_EQ(5u, root.items.size());
  const PlistValue& dict = root.items[0];
  ASSERT_EQ(PlistValue::Kind::kDict, dict.kind);
  EXPECT_EQ((std::vector<std::string>{"A&B", "n"}), dict.keys);
  EXPECT_EQ("Caf\xC3\xA9 <1> A", dict.items[0].text);
  EXPECT_EQ(PlistValue::Kind::kOther, dict.items[1].kind);
  EXPECT_EQ(PlistValue::Kind::kArray, root.items[1].kind);
  EXPECT_EQ(PlistValue::Kind::kDict, root.items[2].kind);
  EXPECT_EQ(PlistValue::Kind::kString, root.items[3].kind);
}

TEST(PlistReaderTest, RejectsMalformedText) {
  const char* cases[] = {
      "",
      "<array>",
      "<array></dict>",
      "<dict><key>a</key></dict>",
      "<dict><string>a</string><string>b</string></dict>",
      "<string>a &bogus; b</string>",
      "<string>&#0;</string>",
      "<string>&#x110000;</string>",
      "<string>unterminated",
      "<array/>trailing",
      "<plist><array/>",
      "<!-- open comment",
      "</array>",
      "<>",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    PlistValue root;
    EXPECT_FALSE(Parse(text, &root));
  }
}

TEST(PlistReaderTest, LimitsNesting) {
  std::string deep;
  for (int i = 0; i <= kPlistMaxDepth; ++i) deep = "<array>" + deep + "</array>";
  PlistValue root;
  EXPECT_FALSE(Parse(deep, &root));
  deep = deep.substr(7, deep.size() - 15);
  EXPECT_TRUE(Parse(deep, &root));
}

}  // namespace
}  // namespace delve
