// hearthtool subcommands: each lives in its own file and registers itself here.
#pragma once

#include <string>
#include <vector>

struct HearthtoolCommand {
  const char* name;
  const char* summary;  // one line for --help
  int (*run)(const std::vector<std::string>& args);  // args after the subcommand name
};

struct HearthtoolRegistration {
  explicit HearthtoolRegistration(const HearthtoolCommand& command);
};

#define HEARTHTOOL_COMMAND(var, name, summary, fn) \
  static HearthtoolRegistration var(HearthtoolCommand{name, summary, fn})

// Exit codes shared by the subcommands.
constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;   // the file is malformed
constexpr int kExitUsage = 2;      // wrong command line
constexpr int kExitIoError = 3;    // a file could not be read or written

// Reads a whole file; false (and a message on stderr) when it cannot.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out);
bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& data);
