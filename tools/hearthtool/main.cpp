// hearthtool: inspects and produces the files the boot loader reads and writes.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "tools/hearthtool/command.h"

namespace {
std::map<std::string, HearthtoolCommand>& Commands() {
  static std::map<std::string, HearthtoolCommand> commands;
  return commands;
}

void PrintHelp(FILE* out) {
  std::fprintf(out, "usage: hearthtool COMMAND [ARGS...]\n\nCommands:\n");
  for (auto& [name, command] : Commands()) std::fprintf(out, "  %-14s %s\n", name.c_str(), command.summary);
  std::fprintf(out, "\nRun 'hearthtool COMMAND --help' for a command's own options.\n");
}
}  // namespace

HearthtoolRegistration::HearthtoolRegistration(const HearthtoolCommand& command) {
  Commands()[command.name] = command;
}

bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "hearthtool: cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  out->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out || !out.write(reinterpret_cast<const char*>(data.data()), data.size())) {
    std::fprintf(stderr, "hearthtool: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  return true;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintHelp(stderr);
    return kExitUsage;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(stdout);
    return kExitOk;
  }
  auto it = Commands().find(name);
  if (it == Commands().end()) {
    std::fprintf(stderr, "hearthtool: unknown command '%s'\n\n", name.c_str());
    PrintHelp(stderr);
    return kExitUsage;
  }
  return it->second.run(std::vector<std::string>(argv + 2, argv + argc));
}
