// Starting programs on this machine: posix_spawn, pipes and waitpid.
#pragma once

#include <string>
#include <vector>

namespace hostsys {

// The exit status reported for a program that could not be started, as a
// shell reports it.
inline constexpr int kNotStartedStatus = 127;

// Starts `program` (an absolute path) with `args` (without argv[0]) and
// waits for it. Returns 0 and the exit status (128 + signal number for a
// program killed by a signal), or the errno value when it could not start.
int RunAndWait(const std::string& program, const std::vector<std::string>& args,
               int* exitStatus);

// Starts `program` and reads its standard output to the end; its standard
// error is left to ours. Returns 0 or the errno value when it could not
// start. The exit status is collected but not judged.
int RunForOutput(const std::string& program, const std::vector<std::string>& args,
                 std::string* output);

// Finds an executable named `name` in the directories of $PATH.
bool FindOnPath(const std::string& name, std::string* path);

}  // namespace hostsys
