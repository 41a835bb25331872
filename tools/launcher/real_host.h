// Mirrorwell's host services on this machine. With a host root (see
// tools/HOST_PROGRAMS.md) every path is taken below it, and the launcher's
// own bundle must lie inside it. Privileged starts go through pkexec, or
// "sudo -n" when there is no pkexec; the stop alert uses a desktop dialog
// program when a desktop is there and standard error otherwise.
#pragma once

#include <string>

#include "tools/launcher/launcher_host.h"

namespace mirrorwell {

// `root` is "" for the real system.
LauncherHost MakeRealLauncherHost(const std::string& root);

}  // namespace mirrorwell
