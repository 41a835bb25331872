// delve: mounts the file systems that enclose the disk image the system was
// booted from. Command line:
//   delve                         automatic mode
//   delve -I                      automatic mode for a special boot
//   delve ENCLOSING OUTER         explicit mount points
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "tools/delve/delve_host.h"

namespace delve {

// Runs delve with its arguments (without the program name) and returns the
// result code, which is also the exit status.
int RunDelve(const DelveHost& host, const std::vector<std::string>& args, std::ostream& out,
             std::ostream& err);

}  // namespace delve
