// Small whole-file operations on this machine. Each returns 0 or the errno
// value of the step that failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hostsys {

// Reads at most `limit` bytes from the start of the file.
int ReadFilePrefix(const std::string& path, size_t limit, std::vector<uint8_t>* bytes);

// Appends `line` and a line end, creating the file (and nothing above it).
int AppendLine(const std::string& path, const std::string& line);

// Creates or truncates the file and writes `bytes`. Refuses to follow a
// symbolic link in the last component: the files written this way live in
// world-writable directories.
int WriteFileNoFollow(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace hostsys
