// Kernel cache containers for host tools, tests and benchmarks: building one from a Mach-O
// kernel, and taking a file apart (universal slices, container header, decompression,
// checksum, Mach-O segments) with a plain account of whatever is wrong.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kernel_cache {

enum class Method { kLzvn, kLzss };

struct BuildOptions {
  Method method = Method::kLzvn;
  bool slide_support = true;  // false writes a slide-support word of 0
  bool corrupt_adler32 = false;  // store the checksum plus one (a corrupt container, for tests)
};

// Compresses the kernel and puts the 384-byte header in front of it.
std::vector<uint8_t> BuildContainer(const uint8_t* kernel, size_t size, const BuildOptions& options = {});
std::vector<uint8_t> BuildContainer(const std::vector<uint8_t>& kernel, const BuildOptions& options = {});

// A container from its parts as they are (for crafted and broken files): the method as
// four characters, the stored checksum and sizes, the slide word and the compressed bytes.
struct RawContainer {
  std::string method = "lzvn";
  uint32_t adler32 = 0;
  uint32_t uncompressed_size = 0;
  uint32_t compressed_size = 0;
  uint32_t slide_support = 1;
  std::vector<uint8_t> compressed;
};
std::vector<uint8_t> WriteRawContainer(const RawContainer& container);

// What one slice (or a file that is not universal) holds.
struct SliceReport {
  uint32_t cpu_type = 0, cpu_subtype = 0;
  uint64_t offset = 0, size = 0;
  bool container = false;
  std::string method;                 // as stored, printable
  uint32_t stored_adler32 = 0, computed_adler32 = 0;
  uint32_t uncompressed_size = 0, compressed_size = 0, produced = 0;
  uint32_t slide_support = 0;
  std::vector<uint8_t> kernel;        // the uncompressed bytes (or the slice itself)
  std::vector<std::string> problems;  // empty when the slice would load
};

struct FileReport {
  bool universal = false;
  std::vector<SliceReport> slices;
  std::vector<std::string> problems;  // about the file as a whole
  bool ok() const;
};

// Takes a file apart; never reads outside it.
FileReport InspectFile(const std::vector<uint8_t>& file);

}  // namespace kernel_cache
