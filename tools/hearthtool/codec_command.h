// The scaffold shared by the compress/decompress subcommands (lzss, lzvn):
//   hearthtool CODEC compress IN OUT
//   hearthtool CODEC decompress IN OUT
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

using CodecBytes = std::vector<unsigned char>;

struct CodecCommand {
  const char* stream_name;  // for messages: "is not a valid <stream_name>"
  void (*print_usage)(FILE* out);
  CodecBytes (*compress)(const CodecBytes& in);
  bool (*expand)(const CodecBytes& in, CodecBytes* out);  // false: the input is not valid
};

// Parses the command line, reads IN, compresses or expands it and writes OUT; returns the
// subcommand's exit code.
int RunCodecCommand(const CodecCommand& codec, const std::vector<std::string>& args);

using CodecDecoder = size_t (*)(void* destination, size_t destination_capacity, const void* source,
                                size_t source_length);

// Neither stream records its expanded size: decodes into a buffer of `capacity` bytes,
// doubling it until the decoder no longer fills it.
void ExpandUntilNotFull(CodecDecoder decode, const CodecBytes& in, size_t capacity, CodecBytes* out);
