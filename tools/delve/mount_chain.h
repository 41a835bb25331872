// Mounting the file systems that enclose the booted disk image.
#pragma once

#include <ostream>
#include <string>

#include "tools/delve/delve_host.h"
#include "tools/delve/imgsrc_info.h"
#include "tools/delve/mount_points.h"

namespace delve {

inline constexpr const char* kPackagesLink = "/System/Installation/PackagesLink";
inline constexpr const char* kInstallCollection =
    "/System/Installation/Packages/OSInstall.collection";
inline constexpr const char* kRemountProgram = "/sbin/mount_hfs";

// Mounts chain device 0 at `points.enclosing` and device 1 (when there is
// one) at `points.outer`, links the package directory and, when asked or on
// a plain two-level boot, makes device 0 writable. Returns a result code;
// warnings go to `err`.
int MountChain(const DelveHost& host, std::ostream& err, const ImgsrcChain& chain,
               const MountPoints& points, bool specialBoot);

// Remounts chain device 0 read-write at the enclosing mount point.
void PromoteToReadWrite(const DelveHost& host, const std::string& device,
                        const std::string& mountPoint);

}  // namespace delve
