// Runs the hearthtool program built beside the test program, for the end-to-end tests of its
// subcommands: what it printed (standard output and error together) and how it exited.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>

inline std::filesystem::path Hearthtool() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path() / "hearthtool";
}

struct Outcome {
  int exit_code;       // -1 when it could not be run or did not exit normally
  std::string output;  // stdout and stderr
};

// arguments: the subcommand and its arguments, as a shell command line.
inline Outcome RunHearthtool(const std::string& arguments) {
  std::string command = Hearthtool().string() + " " + arguments + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  Outcome outcome{-1, ""};
  if (!pipe) return outcome;
  char chunk[4096];
  size_t got;
  while ((got = fread(chunk, 1, sizeof(chunk), pipe)) > 0) outcome.output.append(chunk, got);
  int status = pclose(pipe);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}
