// The probe's command-line and number parsing, which read the scenario's expectations.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/probe/probe_host.h"

namespace {

std::string Find(const char* line, const char* key) {
  const char* value;
  uint32_t length;
  if (!cmdline_find(line, 1024, key, &value, &length)) return "<absent>";
  return std::string(value, length);
}

}  // namespace

TEST(ProbeText, FindsWholeTokensOnly) {
  const char* line = "-v  rd=3 slide=30 probe-expect-adler=0xABCD rdx slide probe-expect-perf";
  EXPECT_EQ(Find(line, "rd"), "3");
  EXPECT_EQ(Find(line, "slide"), "30");  // the first one wins
  EXPECT_EQ(Find(line, "probe-expect-adler"), "0xABCD");
  EXPECT_EQ(Find(line, "probe-expect-perf"), "");
  EXPECT_EQ(Find(line, "-v"), "");
  EXPECT_EQ(Find(line, "probe-expect"), "<absent>");
  EXPECT_EQ(Find(line, "v"), "<absent>");
  EXPECT_EQ(Find("", "rd"), "<absent>");
}

TEST(ProbeText, StopsAtTheLineLengthAndItsNul) {
  const char line[] = "rd slide=1\0probe-expect-perf";
  const char* value;
  uint32_t length;
  EXPECT_FALSE(cmdline_find(line, sizeof(line), "probe-expect-perf", &value, &length));
  EXPECT_FALSE(cmdline_find(line, 2, "slide", &value, &length));
  EXPECT_TRUE(cmdline_find(line, 2, "rd", &value, &length));
}

TEST(ProbeText, ParsesNumbers) {
  struct {
    const char* text;
    bool ok;
    uint64_t value;
  } cases[] = {{"0", true, 0},          {"255", true, 255},   {"0x1234abcd", true, 0x1234ABCD},
               {"0XFF", true, 255},     {"0x", false, 0},     {"", false, 0},
               {"12a", false, 0},       {"-1", false, 0},     {"0xffffffffffffffff", true, ~uint64_t(0)},
               {"0x10000000000000000", false, 0},             {"18446744073709551615", true, ~uint64_t(0)},
               {"18446744073709551616", false, 0}};
  for (const auto& c : cases) {
    uint64_t value = 0;
    EXPECT_EQ(parse_number(c.text, uint32_t(std::strlen(c.text)), &value) != 0, c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
    }
  }
}
