#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/kernel_flags.h"

namespace {

std::string Lookup(const char* line, const char* key) {
  const char* value = nullptr;
  UINTN length = 0;
  if (KernelFlagsLookup(line, key, &value, &length) != EFI_SUCCESS) return "<absent>";
  return std::string(value, length);
}

std::vector<std::string> Tokens(const char* line) {
  std::vector<std::string> out;
  KernelFlagToken token;
  for (const char* cursor = line; KernelFlagsNextToken(&cursor, &token);) out.emplace_back(token.start, token.length);
  return out;
}

std::string Merge(std::string line, const char* source, size_t capacity = 256) {
  std::vector<char> buffer(capacity, 0);
  line.copy(buffer.data(), line.size());
  KernelFlagsMergeAbsent(buffer.data(), capacity, source);
  return buffer.data();
}

std::string Filter(const char* line) {
  std::string copy = line;
  KernelFlagsSafeModeFilter(copy.data());
  return copy.c_str();
}

}  // namespace

TEST(KernelFlags, LookupFindsExactKeysAndTheLastOccurrence) {
  struct Case {
    const char* line;
    const char* key;
    const char* value;
  } cases[] = {
      {"-v debug=0x144", "debug", "0x144"},
      {"-v debug=0x144", "-v", ""},
      {"debug=1 debug=2", "debug", "2"},  // the last occurrence wins
      {"debugger=1", "debug", "<absent>"},  // keys match whole
      {"xdebug=1", "debug", "<absent>"},
      {"\t-s\r\nslide=5\n", "slide", "5"},  // every kind of white space separates
      {"rp=\"file:///a b.dmg\" -v", "rp", "file:///a b.dmg"},  // quotes hold white space
      {"rp=\"unterminated value", "rp", "unterminated value"},
      {"slide=", "slide", ""},
      {"", "-v", "<absent>"},
      {"a==b", "a", "=b"},
  };
  for (const Case& c : cases) EXPECT_EQ(Lookup(c.line, c.key), c.value) << c.line << " / " << c.key;
  EXPECT_EQ(Lookup(nullptr, "-v"), "<absent>");
}

TEST(KernelFlags, TokensKeepQuotedValuesWhole) {
  EXPECT_EQ(Tokens("  a=\"x y\"z  b  "), (std::vector<std::string>{"a=\"x y\"z", "b"}));
  EXPECT_EQ(Tokens(" \t "), std::vector<std::string>{});
}

TEST(KernelFlags, MergeAddsOnlyAbsentKeys) {
  // The line's own token stays; the other source's token with the same key is dropped.
  EXPECT_EQ(Merge("debug=0x100 -v", "debug=0x144 -s -v slide=5"), "debug=0x100 -v -s slide=5");
  EXPECT_EQ(Merge("", "a=1 a=2 b"), "a=1 b");
  // A key is present only as a whole key: "-x" does not block "-xyz" nor the other way round.
  EXPECT_EQ(Merge("-xyz", "-x"), "-xyz -x");
  EXPECT_EQ(Merge("rp=\"a b\"", "b rp=c"), "rp=\"a b\" b");
  // A quote left open at the end is closed before anything follows, or it would swallow it.
  EXPECT_EQ(Merge("rp=\"a b", "-v rp=c"), "rp=\"a b\" -v");
  EXPECT_EQ(Merge("", "x=\"open"), "x=\"open");
  EXPECT_EQ(Lookup(Merge("x=\"open", "-v").c_str(), "-v"), "");
}

TEST(KernelFlags, AppendNeverOverrunsTheBuffer) {
  char line[8] = "-v";
  EXPECT_EQ(KernelFlagsAppend(line, sizeof(line), "abcd", 4), EFI_SUCCESS);  // "-v abcd" + NUL = 8
  EXPECT_STREQ(line, "-v abcd");
  EXPECT_EQ(KernelFlagsAppend(line, sizeof(line), "e", 1), EFI_BUFFER_TOO_SMALL);
  EXPECT_STREQ(line, "-v abcd");
  char empty[1] = "";
  EXPECT_EQ(KernelFlagsAppend(empty, sizeof(empty), "", 0), EFI_SUCCESS);
  EXPECT_EQ(KernelFlagsAppend(empty, sizeof(empty), "a", 1), EFI_BUFFER_TOO_SMALL);
  // Tokens that do not fit are left out; later ones that fit still go in.
  EXPECT_EQ(Merge("-v", "toolongtoken -s", 8), "-v -s");
}

TEST(KernelFlags, SafeModeKeepsOnlyItsOwnTokens) {
  EXPECT_EQ(Filter("rootless=0 debug=0x144 -v"), "rootless=0 -v");
  EXPECT_EQ(Filter("  kext-dev-mode=1\tslide=0 -x  -s srv=1 -verbose "), "kext-dev-mode=1 -x -verbose");
  EXPECT_EQ(Filter("debug=1"), "");
  EXPECT_EQ(Filter("rootless=\"a b\" keep"), "rootless=\"a b\"");
}
