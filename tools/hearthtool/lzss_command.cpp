// hearthtool lzss compress|decompress IN OUT
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/lzss.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/lzss_encode.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: hearthtool lzss compress IN OUT\n"
               "       hearthtool lzss decompress IN OUT\n\n"
               "Compresses a file with LZSS (4096-byte ring window), or expands such data.\n"
               "LZSS has no end mark: expansion runs to the end of the input.\n");
}

void Expand(const std::vector<unsigned char>& in, std::vector<unsigned char>* out) {
  // At most 18 bytes come from every 2 input bytes plus flags; grow if that was not enough.
  size_t capacity = std::max<size_t>(in.size() * 9 + 64, 4096);
  for (;;) {
    out->resize(capacity);
    size_t produced = DecompressLzss(out->data(), capacity, in.data(), in.size());
    if (produced < capacity) {
      out->resize(produced);
      return;
    }
    capacity *= 2;
  }
}

int Run(const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    PrintUsage(stdout);
    return kExitOk;
  }
  if (args.size() != 3 || (args[0] != "compress" && args[0] != "decompress")) {
    PrintUsage(stderr);
    return kExitUsage;
  }
  std::vector<unsigned char> in;
  if (!ReadWholeFile(args[1], &in)) return kExitIoError;
  std::vector<unsigned char> out;
  if (args[0] == "compress") {
    out = LzssEncode(in.data(), in.size());
  } else {
    Expand(in, &out);
  }
  return WriteWholeFile(args[2], out) ? kExitOk : kExitIoError;
}

}  // namespace

HEARTHTOOL_COMMAND(lzss_command, "lzss", "compress or expand LZSS data", Run);
