// A scripted host for delve's decision logic: answers come from the maps,
// and every side effect is recorded for the test to inspect.
#pragma once

#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "tools/delve/delve_host.h"

namespace delve {

struct ProgramRun {
  std::string program;
  std::vector<std::string> args;
};

struct FakeDelveHost {
  // Answers.
  bool hasImgsrcInfo = false;
  std::vector<uint8_t> imgsrcInfo;
  std::map<std::string, std::vector<uint8_t>> options;   // "IODeviceTree:/options" properties
  std::map<uint32_t, std::string> deviceNames;
  std::map<std::string, std::string> identifiers;        // device -> identifier program output
  std::map<std::string, std::pair<DiskLookup, std::string>> disks;
  std::set<std::string> existing;
  std::map<std::string, int> mkdirErrors;
  int symlinkError = 0;
  std::map<std::string, int> mountErrors;                // by device path
  int remountStatus = 0;
  bool remountStarts = true;

  // Records.
  std::vector<std::string> logLines;
  std::vector<MountRequest> mounts;
  std::vector<std::pair<std::string, std::string>> links;  // target, link
  std::vector<ProgramRun> runs;
  std::vector<std::string> createdDirectories;

  // Chain of (position, device number) records.
  void SetChain(const std::vector<std::pair<uint32_t, uint32_t>>& records);
  // Chain of named devices at positions 0, 1, …; device numbers 100, 101, ….
  void SetDevices(const std::vector<std::string>& names);
  void SetOption(const std::string& name, const std::string& text);

  DelveHost Host();
};

// Machine paths in the fake carry this prefix, so a test sees which paths
// were handed to other programs.
inline constexpr const char* kFakeMachineRoot = "/sandbox";

}  // namespace delve
