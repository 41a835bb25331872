#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "output/ascii_format.h"
#include "testfw/test_firmware.h"

namespace {

// Every case passes four 8-byte arguments; conversions take what they need.
std::string Format(const char* format, UINT64 a = 0, UINT64 b = 0, UINT64 c = 0, UINT64 d = 0) {
  char buffer[512];
  AsciiSPrint(buffer, format, a, b, c, d);
  return buffer;
}

UINT64 Ptr(const void* p) { return reinterpret_cast<UINT64>(p); }
UINT64 Neg(INT64 v) { return static_cast<UINT64>(v); }

struct Case {
  const char* format;
  UINT64 args[4];
  const char* expected;
};

TEST(AsciiFormat, Conversions) {
  static const char16_t kWide[] = u"wide";
  static const char16_t kWideCut[] = {u'a', 0x0100, u'b', 0};
  const Case cases[] = {
      {"%d", {Neg(-42)}, "-42"},
      {"%5d", {Neg(-42)}, "-  42"},  // the sign comes before the padding
      {"%05d", {Neg(-42)}, "-0042"},
      {"%d", {0xFFFFFFFF00000005ull}, "5"},  // without l: the low 32 bits
      {"%d", {0x80000000ull}, "-2147483648"},
      {"%ld", {Neg(-5)}, "-5"},
      {"%qd", {0x8000000000000000ull}, "-9223372036854775808"},
      {"%ld", {0xFFFFFFFFull}, "4294967295"},
      {"%x", {0x123456789ABCDEF0ull}, "9abcdef0"},
      {"%lx", {0x123456789ABCDEF0ull}, "123456789abcdef0"},
      {"%X", {0xBEEF}, "BEEF"},
      {"%08x", {0xbeef}, "0000beef"},
      {"% 4d", {7}, "   7"},
      {"%10d", {5}, "         5"},
      {"%o %O", {8, 64}, "10 100"},
      {"%p", {0x1234}, "0x1234"},
      {"%P", {0xab}, "0xAB"},
      {"%x %p %x %X", {1, 2, 3, 0xc}, "1 0x2 0x3 0xC"},  // after %p every hex number gets 0x
      {"%x", {0x1f}, "1f"},                               // ... within that call only
      {"%c%c", {'O', 0x14B}, "OK"},
      {"[%s]", {Ptr("hi")}, "[hi]"},
      {"[%5s]", {Ptr("hi")}, "[hi   ]"},
      {"[%s]", {0}, "[(null)]"},
      {"[%S]", {Ptr(kWide)}, "[wide]"},
      {"[%6S]", {0}, "[(null)]"},
      {"[%S]", {Ptr(kWideCut)}, "[a]"},  // ends at the first low byte of 0
      {"a%%b", {}, "ab"},
      {"x%-5dy", {9}, "x5dy"},  // "-" ends the directive and vanishes with its "%"
      {"%u%d", {7}, "7"},       // unknown conversions take no argument
      {"%lu|%d", {7}, "|7"},
      {"abc%", {}, "abc"},
      {"abc%5", {}, "abc"},
      {"[%D]", {0}, "[]"},
      {"[%4D]", {0}, "[    ]"},
  };
  TestFirmware fw;
  for (const Case& c : cases) {
    EXPECT_EQ(Format(c.format, c.args[0], c.args[1], c.args[2], c.args[3]), c.expected) << c.format;
  }
}

TEST(AsciiFormat, BoundedPrintStopsAtSizeAndTerminates) {
  char buffer[8];
  memset(buffer, 'Z', sizeof(buffer));
  EXPECT_EQ(AsciiSNPrint(buffer, 4, "abc%s", "def"), 3u);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(buffer[4], 'Z');
  EXPECT_EQ(AsciiSNPrint(buffer, 1, "abc"), 0u);
  EXPECT_STREQ(buffer, "");
  buffer[0] = 'Z';
  EXPECT_EQ(AsciiSNPrint(buffer, 0, "abc"), 0u);
  EXPECT_EQ(buffer[0], 'Z');
  EXPECT_EQ(AsciiSNPrint(buffer, sizeof(buffer), "%d", 1234), 4u);
  EXPECT_STREQ(buffer, "1234");
}

TEST(AsciiFormat, UnboundedPrintReturnsZero) {
  char buffer[32];
  EXPECT_EQ(AsciiSPrint(buffer, "%s-%d", "ab", 12), 0u);
  EXPECT_STREQ(buffer, "ab-12");
}

TEST(AsciiFormat, HugeWidthIsClamped) {
  std::string out(4096, 'Z');
  AsciiSNPrint(out.data(), out.size(), "%4294967297d", 1);  // the width would wrap to 1
  EXPECT_EQ(strlen(out.c_str()), kAsciiMaxWidth);
}

void StringSink(char c, void* context) { static_cast<std::string*>(context)->push_back(c); }

TEST(AsciiFormatNumber, BasesFlagsAndWidth) {
  struct NumberCase {
    UINT64 value;
    UINT32 base, flags, width;
    const char* expected;
  } cases[] = {
      {5, 2, 0, 0, "101"},
      {255, 16, kAsciiNumberUpper | kAsciiNumberPrefix0x | kAsciiNumberZeroPad, 4, "0x00FF"},
      {255, 16, kAsciiNumberPrefix0x, 4, "0x  ff"},
      {42, 10, kAsciiNumberSigned | kAsciiNumberZeroPad, 6, "-00042"},
      {0, 10, 0, 0, "0"},
      {~0ull, 8, 0, 0, "1777777777777777777777"},
      {~0ull, 2, 0, 0, "1111111111111111111111111111111111111111111111111111111111111111"},
      {77, 0, 0, 0, "77"},   // an unusable base counts as 10
      {77, 99, 0, 0, "77"},
  };
  for (const NumberCase& c : cases) {
    std::string out;
    AsciiFormatNumber(c.value, c.base, c.flags, c.width, StringSink, &out);
    EXPECT_EQ(out, c.expected) << c.value << " base " << c.base;
  }
}

}  // namespace
