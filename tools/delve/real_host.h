// delve's host services on this machine. With a host root (see
// tools/HOST_PROGRAMS.md) every path is taken below it, and the facilities
// this machine lacks (system control values, the firmware's device tree,
// device names and disk descriptions, the mount call, the system log) are
// files in its ".host" folder.
#pragma once

#include <string>

#include "tools/delve/delve_host.h"

namespace delve {

// `root` is "" for the real system.
DelveHost MakeRealDelveHost(const std::string& root);

}  // namespace delve
