// The host root: a directory that stands in for the system's own file tree
// and for the host facilities this machine lacks, so the host programs can
// run for real in a sandbox. Chosen by the HEARTH_HOST_ROOT environment
// variable; empty means the real system.
#pragma once

#include <string>

namespace hostsys {

inline constexpr const char* kHostRootVariable = "HEARTH_HOST_ROOT";

// The configured host root without a trailing '/', or "" when none is set.
std::string HostRootFromEnvironment();

// The path as the machine sees it: `root` + `path` for an absolute path when
// a root is set, otherwise `path` unchanged.
std::string ResolveUnderRoot(const std::string& root, const std::string& path);

// The inverse of ResolveUnderRoot for a machine path inside the root; false
// when `machinePath` lies outside it.
bool PathInsideRoot(const std::string& root, const std::string& machinePath,
                    std::string* systemPath);

}  // namespace hostsys
