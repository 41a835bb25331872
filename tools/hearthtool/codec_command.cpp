#include "tools/hearthtool/codec_command.h"

#include "tools/hearthtool/command.h"

int RunCodecCommand(const CodecCommand& codec, const std::vector<std::string>& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    codec.print_usage(stdout);
    return kExitOk;
  }
  if (args.size() != 3 || (args[0] != "compress" && args[0] != "decompress")) {
    codec.print_usage(stderr);
    return kExitUsage;
  }
  CodecBytes in;
  if (!ReadWholeFile(args[1], &in)) return kExitIoError;
  CodecBytes out;
  if (args[0] == "compress") {
    out = codec.compress(in);
  } else if (!codec.expand(in, &out)) {
    std::fprintf(stderr, "hearthtool: %s is not a valid %s\n", args[1].c_str(), codec.stream_name);
    return kExitBadInput;
  }
  return WriteWholeFile(args[2], out) ? kExitOk : kExitIoError;
}

void ExpandUntilNotFull(CodecDecoder decode, const CodecBytes& in, size_t capacity, CodecBytes* out) {
  for (;;) {
    out->resize(capacity);
    size_t produced = decode(out->data(), capacity, in.data(), in.size());
    if (produced < capacity) {
      out->resize(produced);
      return;
    }
    capacity *= 2;
  }
}
