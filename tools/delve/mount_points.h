// Where delve mounts the enclosing and the outer file systems.
#pragma once

#include <string>

#include "tools/delve/delve_host.h"
#include "tools/delve/imgsrc_info.h"

namespace delve {

inline constexpr const char* kDefaultEnclosingMountPoint = "/Volumes/Image Volume";
inline constexpr const char* kDefaultOuterMountPoint = "/Volumes/Larkspur Install DVD";
inline constexpr const char* kVolumeIdentifierProgram =
    "/System/Library/Filesystems/hfs.fs/Contents/Resources/hfs.util";

struct MountPoints {
  std::string enclosing;
  std::string outer;
};

// Automatic mode: the volume names the firmware recorded, when every
// recorded identifier matches the volume on the same chain position;
// otherwise the defaults.
MountPoints ChooseAutomaticMountPoints(const DelveHost& host, const ImgsrcChain& chain);

// `path`, or the first of "path 1", "path 2", … that does not exist yet.
std::string UniqueMountPoint(const DelveHost& host, const std::string& path);

}  // namespace delve
