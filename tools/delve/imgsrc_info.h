// What the kernel and the firmware say about the image sources that enclose
// the booted disk image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/delve/delve_host.h"

namespace delve {

// One 36-byte record of "kern.imgsrcinfo".
struct ImgsrcRecord {
  uint32_t position = 0;      // 0 = the outermost enclosing file system
  uint32_t deviceNumber = 0;  // block device number
};

inline constexpr size_t kImgsrcRecordSize = 36;

// The whole records of the value; a trailing partial record is ignored.
std::vector<ImgsrcRecord> ParseImgsrcRecords(const std::vector<uint8_t>& value);

// Device names by chain position: one slot per record, "" where no record
// names a device or the device number has no name. Empty optional when the
// kernel gives no chain information at all.
using ImgsrcChain = std::optional<std::vector<std::string>>;

ImgsrcChain ReadImgsrcChain(const DelveHost& host);

// One entry of "rc_imgsrc_info": the volume identifier and the volume name.
struct VolumeEntry {
  bool valid = false;  // a dictionary with a string value
  std::string identifier;
  std::string name;
};

// The entries of the "rc_imgsrc_info" property list; none when it is not an
// array.
std::vector<VolumeEntry> ParseVolumeEntries(const std::vector<uint8_t>& value);

// Reads a device-tree property of "IODeviceTree:/options"; empty optional
// when absent.
std::optional<std::vector<uint8_t>> ReadOption(const DelveHost& host, const std::string& name);

// The text of a string property, or of a data property holding text;
// trailing zero bytes dropped.
std::string OptionText(const std::vector<uint8_t>& value);

}  // namespace delve
