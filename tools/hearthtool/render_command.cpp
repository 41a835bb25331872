// hearthtool render: runs hearth-render, the sibling program that draws widget scenes on the
// test firmware, with the same arguments. hearthtool itself links no test firmware: its
// other commands run hearth's code on the host's services (tools/lib/host_services.h).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "tools/hearthtool/command.h"

namespace {

// The sibling is missing or cannot be started (the shell's "command not found").
constexpr int kExitNoRenderer = 127;

std::string RendererPath() {
  char path[4096] = {};
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path) - 1);
  std::string exe = n > 0 ? std::string(path, size_t(n)) : std::string("./hearthtool");
  return exe.substr(0, exe.rfind('/') + 1) + "hearth-render";
}

int Run(const std::vector<std::string>& args) {
  std::string renderer = RendererPath();
  if (access(renderer.c_str(), X_OK) != 0) {
    std::fprintf(stderr,
                 "hearthtool render: %s is missing (%s); it is built beside hearthtool by scripts/build "
                 "(target hearth-render)\n",
                 renderer.c_str(), std::strerror(errno));
    return kExitNoRenderer;
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(renderer.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::fflush(nullptr);
  execv(renderer.c_str(), argv.data());
  std::fprintf(stderr, "hearthtool render: cannot run %s: %s\n", renderer.c_str(), std::strerror(errno));
  return kExitNoRenderer;
}

}  // namespace

HEARTHTOOL_COMMAND(render_command, "render", "draw a widget scene into a PNG (runs hearth-render beside hearthtool)",
                   Run);
