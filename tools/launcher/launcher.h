// Mirrorwell: starts the cloning application kept inside its own bundle with
// administrator rights. It takes no arguments and always exits with 0.
#pragma once

#include <string>

#include "tools/launcher/launcher_host.h"

namespace mirrorwell {

inline constexpr const char* kDistributionBundle = "/Volumes/Mirrorwell/Mirrorwell.app";
inline constexpr const char* kInnerExecutable =
    "/Contents/Larkspur/Mirrorwell.app/Contents/Larkspur/Mirrorwell";
inline constexpr const char* kOutputPath = "/var/tmp/.output";
inline constexpr size_t kPathLimit = 512;  // bytes, with the terminating zero

// Runs the launcher once.
void RunLauncher(const LauncherHost& host);

// `text` as one word of a POSIX shell command line.
std::string ShellQuote(const std::string& text);

}  // namespace mirrorwell
