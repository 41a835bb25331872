// hearthtool lzvn compress|decompress IN OUT
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/lzvn.h"
#include "tools/hearthtool/codec_command.h"
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
bool IsEmptyStream(const CodecBytes& in) {
  size_t i = 0;
  while (i < in.size() && (in[i] == 0x0E || in[i] == 0x16)) ++i;
  return in.size() >= lzvn::kMinimumBuffer && i < in.size() && in[i] == lzvn::kEndOfStream;
}

CodecBytes Compress(const CodecBytes& in) { return LzvnEncode(in.data(), in.size()); }

bool Expand(const CodecBytes& in, CodecBytes* out) {
  ExpandUntilNotFull(DecompressLzvn, in, std::max<size_t>(in.size() * 4, 4096), out);
  return !out->empty() || IsEmptyStream(in);
}

int Run(const std::vector<std::string>& args) {
  return RunCodecCommand(CodecCommand{"LZVN stream", PrintUsage, Compress, Expand}, args);
}

}  // namespace

HEARTHTOOL_COMMAND(lzvn_command, "lzvn", "compress or expand an LZVN stream", Run);
