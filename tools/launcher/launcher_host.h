// The host services Mirrorwell uses, as one table of operations. The real
// table (real_host.h) reaches this machine or the sandbox host root; tests
// fill it with a scripted fake. Paths are as the desktop system names them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mirrorwell {

struct LauncherHost {
  // The launcher's own bundle as a UTF-8 path; false when it cannot be had.
  std::function<bool(std::string* path)> bundlePath;
  // Shows a stop alert and returns once it is dismissed.
  std::function<void(const std::string& title, const std::string& message)> showStopAlert;
  // Runs a command line through the shell; returns its exit status.
  std::function<int(const std::string& commandLine)> runShell;
  // Starts `program` (a machine path) with administrator rights, without
  // arguments; 0 when it started, otherwise non-zero.
  std::function<int(const std::string& program)> runPrivileged;
  // Reads at most `limit` bytes from the start of a file; 0 or errno.
  std::function<int(const std::string& path, size_t limit, std::vector<uint8_t>* bytes)> readFile;
  // Creates or truncates a file with `bytes`; 0 or errno.
  std::function<int(const std::string& path, const std::vector<uint8_t>& bytes)> writeFile;
  // Deletes a file if there is one.
  std::function<void(const std::string& path)> removeFile;
  // The path as handed to other programs on this machine (under the host
  // root in a sandbox).
  std::function<std::string(const std::string& path)> machinePath;
};

}  // namespace mirrorwell
