#include "tools/delve/mount_points.h"

#include <vector>

namespace delve {
namespace {

// A name that would leave "/Volumes" or nest below it cannot be a mount
// point name.
bool IsSinglePathComponent(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

bool EntryMatchesVolume(const DelveHost& host, const ImgsrcChain& chain, size_t index,
                        const VolumeEntry& entry) {
  if (!entry.valid || !IsSinglePathComponent(entry.name)) return false;
  if (!chain || index >= chain->size() || (*chain)[index].empty()) return false;
  std::string identifier;
  std::vector<std::string> args = {"-k", (*chain)[index]};
  if (host.runForOutput(host.machinePath(kVolumeIdentifierProgram), args, &identifier) != 0) {
    return false;
  }
  return identifier == entry.identifier;
}

}  // namespace

MountPoints ChooseAutomaticMountPoints(const DelveHost& host, const ImgsrcChain& chain) {
  MountPoints defaults{kDefaultEnclosingMountPoint, kDefaultOuterMountPoint};
  std::vector<VolumeEntry> entries;
  if (std::optional<std::vector<uint8_t>> value = ReadOption(host, "rc_imgsrc_info")) {
    entries = ParseVolumeEntries(*value);
  }
  if (entries.empty()) return defaults;
  for (size_t i = 0; i < entries.size(); ++i) {
    if (!EntryMatchesVolume(host, chain, i, entries[i])) return defaults;
  }
  MountPoints chosen = defaults;
  chosen.enclosing = "/Volumes/" + entries[0].name;
  if (entries.size() > 1) chosen.outer = "/Volumes/" + entries[1].name;
  return chosen;
}

std::string UniqueMountPoint(const DelveHost& host, const std::string& path) {
  std::string candidate = path;
  for (unsigned long counter = 1; host.exists(candidate); ++counter) {
    candidate = path + " " + std::to_string(counter);
  }
  return candidate;
}

}  // namespace delve
