#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <string>

#include "config/plist.h"
#include "tests/config/plist_test_support.h"
#include "testfw/test_firmware.h"

namespace {

// Hand-built trees: nodes live in the deque, chained as the test says.
class Tree {
 public:
  PlistNode* Node(UINT64 type, PlistNode* child = nullptr) {
    nodes_.push_back(PlistNode{type, nullptr, 0, nullptr, 0, child, nullptr});
    return &nodes_.back();
  }
  PlistNode* Text(UINT64 type, const char* text, PlistNode* child = nullptr) {
    PlistNode* node = Node(type, child);
    node->string = text;
    return node;
  }
  PlistNode* Integer(INT64 value, UINT64 type = kPlistInteger) {
    PlistNode* node = Node(type);
    node->integer = value;
    return node;
  }
  PlistNode* Data(UINT8* bytes, UINT64 length) {
    PlistNode* node = Node(kPlistData);
    node->data = bytes;
    node->dataLength = length;
    return node;
  }
  // Chains the nodes through next and returns the first.
  static PlistNode* Chain(std::initializer_list<PlistNode*> nodes) {
    PlistNode* previous = nullptr;
    for (PlistNode* node : nodes) {
      if (previous) previous->next = node;
      previous = node;
    }
    return *nodes.begin();
  }

 private:
  std::deque<PlistNode> nodes_;
};

TEST(PlistWriter, WritesElementsBackToBack) {
  TestFirmware fw;
  Tree t;
  PlistNode* dict = t.Node(kPlistDict, t.Text(kPlistKey, "k", t.Text(kPlistString, "a<b & c>d")));
  EXPECT_EQ(WritePlist(dict), "<dict><key>k</key><string>a&lt;b &amp; c&gt;d</string></dict>");

  UINT8 bytes[] = {1, 2, 3, 4, 5, 6, 7, 8, 0xAB};
  EXPECT_EQ(WritePlist(t.Data(bytes, 5)), "<data format=\"hex\">01020304 05</data>");
  EXPECT_EQ(WritePlist(t.Data(bytes, 8)), "<data format=\"hex\">01020304 05060708</data>");
  EXPECT_EQ(WritePlist(t.Data(bytes, 9)), "<data format=\"hex\">01020304 05060708 ab</data>");
  EXPECT_EQ(WritePlist(t.Data(nullptr, 0)), "<data format=\"hex\"></data>");

  EXPECT_EQ(WritePlist(Tree::Chain({t.Integer(-42), t.Integer(INT64_MIN), t.Integer(INT64_MAX)})),
            "<integer>-42</integer><integer>-9223372036854775808</integer><integer>9223372036854775807</integer>");
  EXPECT_EQ(WritePlist(Tree::Chain({t.Node(kPlistTrue), t.Node(kPlistFalse), t.Node(kPlistDict), t.Node(kPlistArray),
                                    t.Node(kPlistDate), t.Integer(7, kPlistReal), t.Node(kPlistNone), t.Node(11)})),
            "<true/><false/><dict/><array/><date/><real/><none/><unknown/>");
  EXPECT_EQ(WritePlist(t.Text(kPlistString, "")), "<string></string>");
  EXPECT_EQ(WritePlist(t.Text(kPlistKey, "lonely")), "<key>lonely</key>");
  EXPECT_EQ(WritePlist(t.Node(kPlistArray, Tree::Chain({t.Integer(1), t.Node(kPlistArray, t.Node(kPlistTrue))}))),
            "<array><integer>1</integer><array><true/></array></array>");
  EXPECT_EQ(WritePlist(nullptr), "");
}

TEST(PlistWriter, StopsSixteenLevelsBelowTheStart) {
  TestFirmware fw;
  Tree t;
  PlistNode* inner = t.Integer(1);
  for (int i = 0; i < 20; ++i) inner = t.Node(kPlistArray, inner);
  std::string expected;
  for (int i = 0; i < 17; ++i) expected += "<array>";  // levels 0 to 16
  for (int i = 0; i < 17; ++i) expected += "</array>";
  EXPECT_EQ(WritePlist(inner), expected);
}

TEST(PlistWriter, OutputGrowsPastItsFirstBuffer) {
  TestFirmware fw;
  Tree t;
  std::string long_text(10000, 'x');
  long_text[4094] = '<';  // an escape right at the first buffer's end
  std::string escaped = long_text;
  escaped.replace(4094, 1, "&lt;");
  EXPECT_EQ(WritePlist(t.Text(kPlistString, long_text.c_str())), "<string>" + escaped + "</string>");
}

TEST(PlistWriter, ParsedDocumentsWriteAndReadBack) {
  TestFirmware fw;
  const std::string document =
      "<plist version=\"1.0\"><dict><key>Kernel Flags</key><string>-v &amp; debug=0x144</string>"
      "<key>Root Match</key><dict><key>IOProviderClass</key><string>IOMedia</string><key>mac</key>"
      "<data>AAEC/f7/</data></dict><key>n</key><integer>-12</integer><key>r</key><real>1.5</real>"
      "<key>when</key><date>2020-01-01T00:00:00Z</date><key>list</key><array><true/><false/><array/></array>"
      "</dict></plist>";
  PlistNode* first = nullptr;
  ASSERT_EQ(ParsePlistCopy(document, &first), EFI_SUCCESS);
  std::string xml = WritePlist(first);
  EXPECT_EQ(xml,
            "<dict><key>Kernel Flags</key><string>-v &amp; debug=0x144</string><key>Root Match</key><dict>"
            "<key>IOProviderClass</key><string>IOMedia</string><key>mac</key><data format=\"hex\">000102fd feff</data>"
            "</dict><key>n</key><integer>-12</integer><key>r</key><real/><key>when</key><date/><key>list</key>"
            "<array><true/><false/><array/></array></dict>");
  PlistNode* second = nullptr;
  ASSERT_EQ(ParsePlistCopy(xml, &second), EFI_SUCCESS);
  EXPECT_EQ(DumpPlist(second), DumpPlist(first));
  PlistFree(first);
  PlistFree(second);
}

TEST(PlistWriter, OutOfMemoryLeavesNothingBehind) {
  TestFirmware fw;
  Tree t;
  std::string long_text(9000, 'y');
  PlistNode* node = t.Text(kPlistString, long_text.c_str());
  PoolFree(PoolAllocate(1));  // the allocation tracker's own block, up front
  const size_t baseline = fw.LivePoolBlocks();
  for (int n = 1; n <= 3; ++n) {  // the first buffer and two growths
    fw.FailNthAllocation(n);
    char* xml = reinterpret_cast<char*>(1);
    EXPECT_EQ(PlistWriteXml(node, &xml), EFI_OUT_OF_RESOURCES) << n;
    EXPECT_EQ(xml, nullptr);
    EXPECT_EQ(fw.LivePoolBlocks(), baseline) << n;
  }
  fw.FailNthAllocation(0);
  EXPECT_EQ(PlistWriteXml(node, nullptr), EFI_INVALID_PARAMETER);
}

}  // namespace
