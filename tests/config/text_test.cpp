#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/text_convert.h"
#include "config/uuid_text.h"
#include "memory/memory.h"
#include "testfw/test_firmware.h"

TEST(TextConvert, Ucs2ToUtf8EncodesDropsNulsAtTheEndAndStopsWhenFull) {
  const CHAR16 text[] = {u'a', 0x00E9, 0x20AC, u'z', 0, u'q'};
  char out[16];
  EXPECT_EQ(Ucs2ToUtf8(text, 6, out, sizeof(out)), 7u);
  EXPECT_STREQ(out, "a\xC3\xA9\xE2\x82\xACz");
  // A three-byte character that does not fit with the terminator ends the output.
  EXPECT_EQ(Ucs2ToUtf8(text, 6, out, 5), 3u);
  EXPECT_STREQ(out, "a\xC3\xA9");
  EXPECT_EQ(Ucs2ToUtf8(text, 6, out, 1), 0u);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(Utf8SizeForUcs2(4), 13u);
  EXPECT_EQ(Utf8SizeForUcs2(static_cast<UINTN>(-1) / 2), 0u);
}

TEST(TextConvert, Utf8ToUcs2DecodesAndReplacesMalformedBytes) {
  struct Case {
    std::string in;
    std::u16string out;
  } cases[] = {
      {"abc", u"abc"},
      {"\xC3\xA9\xE2\x82\xAC", u"\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80x", u"?x"},    // beyond the basic plane
      {"\xC3", u"?"},                  // cut short at the end of the text
      {"\xC3(", u"?("},                // a continuation byte missing
      {"\xC0\xAF", u"??"},             // overlong
      {"\x80", u"?"},
      {std::string("a\0b", 3), u"a"},  // ends at a NUL
  };
  for (const Case& c : cases) {
    CHAR16 out[16];
    UINTN n = Utf8ToUcs2(c.in.data(), c.in.size(), out, 16);
    EXPECT_EQ(std::u16string(out, n), c.out) << c.in;
    EXPECT_EQ(out[n], 0);
  }
  CHAR16 small[3];
  EXPECT_EQ(Utf8ToUcs2("abcdef", 6, small, 3), 2u);
  EXPECT_EQ(std::u16string(small), u"ab");
}

TEST(TextConvert, AllocatingFormsFreeCleanly) {
  TestFirmware fw;
  CHAR16* wide = nullptr;
  ASSERT_EQ(Utf8ToUcs2Allocate("x/y", 3, &wide), EFI_SUCCESS);
  char* narrow = nullptr;
  ASSERT_EQ(Ucs2ToUtf8Allocate(wide, 3, &narrow), EFI_SUCCESS);
  EXPECT_STREQ(narrow, "x/y");
  PoolFree(wide);
  PoolFree(narrow);
  fw.FailNthAllocation(1);
  EXPECT_EQ(Utf8ToUcs2Allocate("x", 1, &wide), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(TrackedAllocationCount(), 0u);
}

TEST(UuidText, ConvertsTheCanonicalFormOnly) {
  UINT8 uuid[16];
  const std::string text = "0123abCD-4567-89ef-A0B1-c2d3e4f5a6b7";
  ASSERT_EQ(UuidTextToBytes(text.data(), text.size(), uuid), EFI_SUCCESS);
  const std::vector<UINT8> expected = {0x01, 0x23, 0xAB, 0xCD, 0x45, 0x67, 0x89, 0xEF,
                                       0xA0, 0xB1, 0xC2, 0xD3, 0xE4, 0xF5, 0xA6, 0xB7};
  EXPECT_EQ(std::vector<UINT8>(uuid, uuid + 16), expected);
  // Characters that are not hex digits count as 0.
  const std::string odd = "zz23abCD-4567-89ef-A0B1-c2d3e4f5a6b7";
  ASSERT_EQ(UuidTextToBytes(odd.data(), odd.size(), uuid), EFI_SUCCESS);
  EXPECT_EQ(uuid[0], 0x00);
  for (const std::string bad : {"0123abCD-4567-89ef-A0B1-c2d3e4f5a6b", "0123abCD-4567-89ef-A0B1-c2d3e4f5a6b78",
                                "0123abCD+4567-89ef-A0B1-c2d3e4f5a6b7", "0123abCD-4567-89ef-A0B1c-2d3e4f5a6b7"}) {
    EXPECT_EQ(UuidTextToBytes(bad.data(), bad.size(), uuid), EFI_INVALID_PARAMETER) << bad;
  }
  EXPECT_EQ(UuidTextToBytes(nullptr, 36, uuid), EFI_INVALID_PARAMETER);
}
