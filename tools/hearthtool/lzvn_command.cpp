// hearthtool lzvn compress|decompress IN OUT
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/lzvn.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/lzvn_encode.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: hearthtool lzvn compress IN OUT\n"
               "       hearthtool lzvn decompress IN OUT\n\n"
               "Compresses a file into an LZVN stream (ending in the end-of-stream mark), or\n"
               "expands such a stream back into the original bytes.\n");
}

// A result of 0 is also what an error gives; only a stream of no-ops and the end mark is empty.
bool IsEmptyStream(const std::vector<unsigned char>& in) {
  size_t i = 0;
  while (i < in.size() && (in[i] == 0x0E || in[i] == 0x16)) ++i;
  return in.size() >= lzvn::kMinimumBuffer && i < in.size() && in[i] == lzvn::kEndOfStream;
}

// The stream does not record its expanded size: grow the buffer until it is not filled.
bool Expand(const std::vector<unsigned char>& in, std::vector<unsigned char>* out) {
  size_t capacity = std::max<size_t>(in.size() * 4, 4096);
  for (;;) {
    out->resize(capacity);
    size_t produced = DecompressLzvn(out->data(), capacity, in.data(), in.size());
    if (produced == 0 && !IsEmptyStream(in)) return false;
    if (produced < capacity) {
      out->resize(produced);
      return true;
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
    out = LzvnEncode(in.data(), in.size());
  } else if (!Expand(in, &out)) {
    std::fprintf(stderr, "hearthtool: %s is not a valid LZVN stream\n", args[1].c_str());
    return kExitBadInput;
  }
  return WriteWholeFile(args[2], out) ? kExitOk : kExitIoError;
}

}  // namespace

HEARTHTOOL_COMMAND(lzvn_command, "lzvn", "compress or expand an LZVN stream", Run);
