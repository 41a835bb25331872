// The marker of the launcher's settings file: 18 characters and a zero byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirrorwell {

inline constexpr const char* kSettingsPath = "/var/tmp/.CloneLauncherSettings";
inline constexpr size_t kMarkerSize = 19;
// Written by the cloning application: start through the non-interactive
// privileged command.
inline constexpr char kSudoMarker[kMarkerSize] = "LaunchMirrorwell-1";
// Written here after a failed privileged start.
inline constexpr char kServiceMarker[kMarkerSize] = "LaunchMirrorwell-0";

// Whether the first bytes of the settings file, zero-filled to 19 bytes,
// are the sudo marker and its zero byte.
bool MarkerAsksForSudo(const std::vector<uint8_t>& firstBytes);

// The 19 bytes written after a failed privileged start.
std::vector<uint8_t> ServiceMarkerBytes();

}  // namespace mirrorwell
