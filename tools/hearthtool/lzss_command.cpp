// hearthtool lzss compress|decompress IN OUT
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/lzss.h"
#include "tools/hearthtool/codec_command.h"
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

CodecBytes Compress(const CodecBytes& in) { return LzssEncode(in.data(), in.size()); }

bool Expand(const CodecBytes& in, CodecBytes* out) {
  // At most 18 bytes come from every 2 input bytes plus flags; grow if that was not enough.
  ExpandUntilNotFull(DecompressLzss, in, std::max<size_t>(in.size() * 9 + 64, 4096), out);
  return true;  // any input expands to something
}

int Run(const std::vector<std::string>& args) {
  return RunCodecCommand(CodecCommand{"LZSS stream", PrintUsage, Compress, Expand}, args);
}

}  // namespace

HEARTHTOOL_COMMAND(lzss_command, "lzss", "compress or expand LZSS data", Run);
