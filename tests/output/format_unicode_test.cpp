#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "output/unicode_format.h"
#include "tests/diag/text_helpers.h"

namespace {

std::string Format(const char16_t* format, UINT64 a = 0, UINT64 b = 0, UINT64 c = 0, UINT64 d = 0) {
  char16_t buffer[256];
  UnicodeSPrint(buffer, sizeof(buffer), format, a, b, c, d);
  return Narrow(buffer);
}

UINT64 Ptr(const void* p) { return reinterpret_cast<UINT64>(p); }
UINT64 Neg(INT64 v) { return static_cast<UINT64>(v); }

struct Case {
  const char16_t* format;
  UINT64 args[4];
  const char* expected;
};

TEST(UnicodeFormat, Conversions) {
  static const EFI_TIME kTime = {2024, 3, 7, 9, 5, 30, 0, 0, 0, 0, 0};
  const Case cases[] = {
      {u"%%", {}, "%"},
      {u"%q%", {}, "q"},  // unknown conversions print themselves; a lone "%" at the end nothing
      {u"%x", {0x1F}, "1F"},
      {u"%X", {0x1F}, "000000000000001F"},
      {u"%x", {0x123456789ABCDEF0ull}, "123456789ABCDEF0"},  // the whole slot
      {u"%08x", {0xbeef}, "0000BEEF"},
      {u"%,d", {1234567}, "1,234,567"},
      {u"%,d", {Neg(-1234567)}, "-1,234,567"},
      {u"%,d", {123}, "123"},
      {u"%,u", {~0ull}, "18,446,744,073,709,551,615"},
      {u"%d", {0xFFFFFFFFull}, "-1"},  // the low 32 bits, sign-extended
      {u"%d", {0x100000005ull}, "5"},
      {u"%ld", {0xFFFFFFFFull}, "4294967295"},
      {u"%ld", {0x8000000000000000ull}, "-9223372036854775808"},
      {u"%u", {~0ull}, "18446744073709551615"},
      {u"%5d", {42}, "   42"},
      {u"%05d", {42}, "00042"},
      {u"%05d", {Neg(-42)}, "  -42"},  // zero padding only for non-negative values
      {u"%-5d|", {42}, "42|"},         // left-justified numbers get no padding at all
      {u"%+ d", {42}, "42"},
      {u"%*d", {6, 42}, "    42"},
      {u"%10x", {0xA}, "         A"},
      {u"%40d", {1}, "                            1"},  // padding stops at 29
      {u"[%a]", {Ptr("hi")}, "[hi]"},
      {u"[%5a]", {Ptr("hi")}, "[hi   ]"},
      {u"[%-5s]", {Ptr(u"hi")}, "[hi   ]"},
      {u"[%a]", {0}, "[<null string>]"},
      {u"[%S]", {0}, "[<null string>]"},
      {u"%c%c", {u'O', 0x1004B}, "OK"},
      {u"[%g]", {Ptr(&kSampleGuid)}, "[12345678-9ABC-DEF0-0123-456789ABCDEF]"},
      {u"[%g]", {0}, "[]"},
      {u"%r", {EFI_NOT_FOUND}, "Not Found"},
      {u"%r", {0}, "Success"},
      {u"%r", {4}, "Warning Buffer Too Small"},
      {u"%r", {EFI_INCOMPATIBLE_VERSION}, "8000000000000019"},
      {u"%t", {Ptr(&kTime)}, "03/07/2024  09:05"},
      {u"[%t]", {0}, "[]"},
      {u"a\nb", {}, "a\r\nb"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Format(c.format, c.args[0], c.args[1], c.args[2], c.args[3]), c.expected) << Narrow(c.format);
  }
}

TEST(UnicodeFormat, OutputIsCutAtTheBufferAndAlwaysTerminated) {
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'Z');
  EXPECT_EQ(UnicodeSPrint(buffer, 6, u"abc"), 3u);  // two characters and the NUL
  EXPECT_EQ(Narrow(buffer), "ab");
  EXPECT_EQ(buffer[3], u'Z');
  EXPECT_EQ(UnicodeSPrint(buffer, 6, u"a\nb"), 3u);  // room for the line feed only
  EXPECT_EQ(Narrow(buffer), "a\n");
  EXPECT_EQ(UnicodeSPrint(buffer, 8, u"a\nb"), 4u);
  EXPECT_EQ(Narrow(buffer), "a\r\n");
  EXPECT_EQ(UnicodeSPrint(buffer, 16, u"%5s|", u"abcdefgh"), 8u);
  EXPECT_EQ(Narrow(buffer), "abcdefg");
  EXPECT_EQ(UnicodeSPrint(buffer, 16, u"%20a", "ab"), 8u);  // padding stops at the end as well
  EXPECT_EQ(Narrow(buffer), "ab     ");
}

TEST(UnicodeFormat, TinyBuffersAndEmptyFormats) {
  char16_t buffer[4] = {u'Z', u'Z', u'Z', u'Z'};
  EXPECT_EQ(UnicodeSPrint(buffer, 2, u"abc"), 1u);  // no room for a character
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(UnicodeSPrint(buffer, sizeof(buffer), u""), 1u);
  buffer[0] = u'Z';
  EXPECT_EQ(UnicodeSPrint(buffer, 1, u"abc"), 0u);  // not even room for the NUL
  EXPECT_EQ(UnicodeSPrint(buffer, 0, u"abc"), 0u);
  EXPECT_EQ(buffer[0], u'Z');
  EXPECT_EQ(UnicodeSPrint(nullptr, 8, u"abc"), 0u);
}

TEST(UnicodeNumbers, CountLimitsTheDigits) {
  char16_t buffer[kUnicodeNumberCount + 1];
  EXPECT_EQ(ValueToHexText(buffer, 3, 0x12345, 0, 0), 3u);
  EXPECT_EQ(Narrow(buffer), "345");
  EXPECT_EQ(ValueToDecimalText(buffer, kUnicodeNumberCount, 0, kUnicodeZeroPad, 4), 4u);
  EXPECT_EQ(Narrow(buffer), "0000");
  EXPECT_EQ(ValueToDecimalText(buffer, kUnicodeNumberCount, Neg(-7), kUnicodeSignedValue | kUnicodeLeftJustify, 9), 2u);
  EXPECT_EQ(Narrow(buffer), "-7");
  EXPECT_EQ(ValueToDecimalText(buffer, kUnicodeNumberCount, 0x8000000000000000ull,
                               kUnicodeSignedValue | kUnicodeThousands, 0),
            26u);
  EXPECT_EQ(Narrow(buffer), "-9,223,372,036,854,775,808");
}

TEST(GuidText, UpperCaseFields) {
  char16_t buffer[40];
  EXPECT_EQ(GuidToText(&kSampleGuid, buffer, sizeof(buffer)), 36u);
  EXPECT_EQ(Narrow(buffer), kSampleGuidText);
  EXPECT_EQ(GuidToText(&kSampleGuid, buffer, 10), 4u);
  EXPECT_EQ(Narrow(buffer), "1234");
}

TEST(StatusText, TableAndUnknownCodes) {
  size_t rows = 0;
  while (kStatusTextTable[rows].Code != kStatusTextSentinel) ++rows;
  EXPECT_EQ(rows, 29u);
  char16_t buffer[40];
  for (size_t i = 0; i < rows; ++i) {
    EXPECT_EQ(StatusToText(kStatusTextTable[i].Code, buffer, sizeof(buffer)), strlen(kStatusTextTable[i].Text));
    EXPECT_EQ(Narrow(buffer), kStatusTextTable[i].Text);
  }
  struct {
    EFI_STATUS status;
    const char* text;
  } samples[] = {{EFI_PROTOCOL_ERROR, "Protocol Error"}, {EFI_MEDIA_CHANGED, "Media changed"},
                 {3, "Warning Write Failure"}, {kStatusTextSentinel, "8000000000000000"}, {5, "0000000000000005"}};
  for (const auto& s : samples) {
    StatusToText(s.status, buffer, sizeof(buffer));
    EXPECT_EQ(Narrow(buffer), s.text);
  }
  EXPECT_EQ(StatusToText(EFI_END_OF_FILE, buffer, sizeof(buffer)), 16u);
}

}  // namespace
