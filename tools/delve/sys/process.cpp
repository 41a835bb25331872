#include "tools/delve/sys/process.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace hostsys {
namespace {

std::vector<char*> BuildArgv(const std::string& program, const std::vector<std::string>& args) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  return argv;
}

int WaitForExit(pid_t pid, int* exitStatus) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return errno;
  }
  if (WIFEXITED(status)) {
    *exitStatus = WEXITSTATUS(status);
  } else {
    *exitStatus = 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  }
  return 0;
}

// Owns a spawn file-actions object for the duration of one start.
struct FileActions {
  posix_spawn_file_actions_t actions;
  FileActions() { posix_spawn_file_actions_init(&actions); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions); }
};

}  // namespace

int RunAndWait(const std::string& program, const std::vector<std::string>& args,
               int* exitStatus) {
  std::vector<char*> argv = BuildArgv(program, args);
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) return error;
  return WaitForExit(pid, exitStatus);
}

int RunForOutput(const std::string& program, const std::vector<std::string>& args,
                 std::string* output) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return errno;
  FileActions file;
  posix_spawn_file_actions_adddup2(&file.actions, fds[1], STDOUT_FILENO);
  std::vector<char*> argv = BuildArgv(program, args);
  pid_t pid = 0;
  int error = posix_spawn(&pid, program.c_str(), &file.actions, nullptr, argv.data(), environ);
  close(fds[1]);
  if (error != 0) {
    close(fds[0]);
    return error;
  }
  output->clear();
  char chunk[4096];
  for (;;) {
    ssize_t got = read(fds[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output->append(chunk, static_cast<size_t>(got));
  }
  close(fds[0]);
  int exitStatus = 0;
  return WaitForExit(pid, &exitStatus);
}

bool FindOnPath(const std::string& name, std::string* path) {
  const char* value = std::getenv("PATH");
  std::string dirs = value ? value : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    std::string dir = dirs.substr(start, end - start);
    start = end + 1;
    if (dir.empty()) continue;
    std::string candidate = dir + "/" + name;
    struct stat info;
    if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      *path = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace hostsys
