// Tests that need an outside tool (QEMU, the LLVM tools, Python's plistlib) or a program of
// this build (hearthtool, the probe kernel). scripts/setup installs the tools and the build
// makes the programs, so under CI (CI set in the environment) a missing one fails the test.
// Elsewhere the test is skipped, and the program's exit status 77 (tests/test_main.cpp)
// makes ctest show it as skipped.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

inline bool HearthRunningUnderCi() {
  const char* ci = std::getenv("CI");
  return ci != nullptr && *ci != '\0' && std::strcmp(ci, "0") != 0 && std::strcmp(ci, "false") != 0;
}

// Ends the calling test (or SetUp) when present is false: a failure under CI, a skip elsewhere.
#define REQUIRE_TOOL(present, message)                                         \
  do {                                                                         \
    if (!(present)) {                                                          \
      if (HearthRunningUnderCi()) {                                            \
        GTEST_FAIL() << message << " (under CI a missing tool is a failure)";  \
      } else {                                                                 \
        GTEST_SKIP() << message;                                               \
      }                                                                        \
    }                                                                          \
  } while (0)
