// hearthtool devicetree: lists a flattened device tree as the boot loader hands it to the kernel.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/hearthtool/command.h"
#include "tools/lib/device_tree_decode.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: hearthtool devicetree [--json] FILE\n"
               "\n"
               "Decodes FILE, a flattened device tree exactly as the boot loader publishes it\n"
               "(the block the boot-arguments block points at), and lists its nodes and properties.\n"
               "\n"
               "Each node is shown by its path, its properties indented below it as NAME = VALUE;\n"
               "values that read as text (printable ASCII, optionally NUL-terminated) are quoted,\n"
               "all others are shown as <hex> in 4-byte groups, 32 bytes a line.\n"
               "\n"
               "Options:\n"
               "  --json      print JSON instead: {path, name, properties: [{name, length, hex, text?}],\n"
               "              children: [...]}; \"text\" is present only for values that read as text\n"
               "  -h, --help  show this help\n"
               "\n"
               "Exit status: 0 decoded, 1 truncated or malformed tree, 2 bad command line,\n"
               "3 FILE could not be read.\n");
}

int RunDeviceTree(const std::vector<std::string>& args) {
  bool json = false;
  std::string path;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return kExitOk;
    } else if (arg == "--json") {
      json = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "hearthtool devicetree: unknown option '%s'\n\n", arg.c_str());
      PrintUsage(stderr);
      return kExitUsage;
    } else if (!path.empty()) {
      std::fprintf(stderr, "hearthtool devicetree: only one FILE may be given\n\n");
      PrintUsage(stderr);
      return kExitUsage;
    } else {
      path = arg;
    }
  }
  if (path.empty()) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::vector<unsigned char> data;
  if (!ReadWholeFile(path, &data)) return kExitIoError;
  DecodedDeviceTreeNode root;
  std::string error;
  if (!DecodeDeviceTree(data.data(), data.size(), &root, &error)) {
    std::fprintf(stderr, "hearthtool devicetree: %s: not a valid flattened device tree: %s\n", path.c_str(),
                 error.c_str());
    return kExitBadInput;
  }
  std::string listing = json ? DeviceTreeJson(root) : DeviceTreeListing(root);
  std::fwrite(listing.data(), 1, listing.size(), stdout);
  return kExitOk;
}

}  // namespace

HEARTHTOOL_COMMAND(gDeviceTreeCommand, "devicetree", "list a flattened device tree (--json for scripts)",
                   RunDeviceTree);
