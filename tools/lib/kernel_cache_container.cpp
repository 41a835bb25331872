#include "tools/lib/kernel_cache_container.h"

#include <algorithm>
#include <cstdio>

#include "kernel/adler32.h"
#include "kernel/kernel_cache_container.h"
#include "kernel/lzss.h"
#include "kernel/lzvn.h"
#include "kernel/macho_walker.h"
#include "lib/mem.h"
#include "lib/span.h"
#include "tools/lib/lzss_encode.h"
#include "tools/lib/lzvn_encode.h"

namespace kernel_cache {
namespace {

constexpr uint32_t kUniversalMagic = 0xCAFEBABE;
constexpr size_t kUniversalEntrySize = 20;

void PutBe32(uint8_t* p, uint32_t v) { StoreBe32(p, v); }

std::string Printable(const uint8_t* p, size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += (p[i] >= 0x20 && p[i] < 0x7F) ? char(p[i]) : '?';
  return s;
}

std::string Hex(uint64_t v) {
  char text[32];
  std::snprintf(text, sizeof(text), "0x%llx", static_cast<unsigned long long>(v));
  return text;
}

void InspectContainer(ByteSpan slice, SliceReport* report) {
  KernelCacheHeader header;
  if (!KernelCacheParseHeader(slice, &header)) {
    report->problems.push_back("container header cut short: " + std::to_string(slice.size()) + " of " +
                               std::to_string(kKernelCacheHeaderSize) + " bytes");
    return;
  }
  report->method = Printable(slice.data() + kKernelCacheMethodOffset, 4);
  report->stored_adler32 = header.Adler32;
  report->uncompressed_size = header.UncompressedSize;
  report->compressed_size = header.CompressedSize;
  report->slide_support = header.SlideSupport;
  bool lzvn = header.Method == kKernelCacheMethodLzvn;
  if (!lzvn && header.Method != kKernelCacheMethodLzss) {
    report->problems.push_back("unknown compression method '" + report->method + "'");
    return;
  }
  ByteSpan compressed;
  if (!slice.Slice(kKernelCacheHeaderSize, header.CompressedSize, &compressed)) {
    report->problems.push_back("compressed size " + Hex(header.CompressedSize) + " reaches past the slice (" +
                               Hex(slice.size() - kKernelCacheHeaderSize) + " bytes after the header)");
    return;
  }
  report->kernel.resize(header.UncompressedSize);
  report->produced = static_cast<uint32_t>(
      lzvn ? DecompressLzvn(report->kernel.data(), report->kernel.size(), compressed.data(), compressed.size())
           : DecompressLzss(report->kernel.data(), report->kernel.size(), compressed.data(), compressed.size()));
  report->kernel.resize(report->produced);
  report->computed_adler32 = CalculateAdler32(report->kernel.data(), report->kernel.size());
  if (report->produced != header.UncompressedSize) {
    report->problems.push_back("decompression produced " + Hex(report->produced) + " bytes, the header says " +
                               Hex(header.UncompressedSize));
  } else if (report->computed_adler32 != header.Adler32) {
    report->problems.push_back("Adler-32 mismatch: stored " + Hex(header.Adler32) + ", computed " +
                               Hex(report->computed_adler32));
  }
}

void InspectSlice(ByteSpan slice, SliceReport* report) {
  if (KernelCacheHasSignature(slice)) {
    report->container = true;
    InspectContainer(slice, report);
  } else {
    report->kernel.assign(slice.data(), slice.data() + slice.size());
  }
  // What comes out (or a file that is no container) must be a kernel the loader accepts.
  ByteSpan area;
  INT32 count = 0;
  if (report->problems.empty() &&
      !MachOHeaderCommands(ByteSpan(report->kernel.data(), report->kernel.size()), &area, &count)) {
    report->problems.push_back(std::string(report->container ? "the container's kernel" : "the file") +
                               " is not a 64-bit Mach-O image");
  }
}

void InspectUniversal(ByteSpan file, bool big_endian, FileReport* out) {
  auto field = [&](size_t offset) {
    return big_endian ? LoadBe32(file.data() + offset) : LoadLe32(file.data() + offset);
  };
  uint32_t count = field(4);
  if (count == 0) out->problems.push_back("universal file without slices");
  for (uint32_t i = 0; i < count; ++i) {
    size_t at = 8 + size_t(i) * kUniversalEntrySize;
    if (!file.Contains(at, kUniversalEntrySize)) {
      out->problems.push_back("slice table cut short at slice " + std::to_string(i) + " of " + std::to_string(count));
      return;
    }
    SliceReport slice;
    slice.cpu_type = field(at);
    slice.cpu_subtype = field(at + 4);
    slice.offset = field(at + 8);
    slice.size = field(at + 12);
    ByteSpan bytes;
    if (slice.size == 0) {
      slice.problems.push_back("empty slice");
    } else if (!file.Slice(slice.offset, slice.size, &bytes)) {
      slice.problems.push_back("slice reaches past the end of the file");
    } else {
      InspectSlice(bytes, &slice);
    }
    out->slices.push_back(std::move(slice));
  }
}

}  // namespace

std::vector<uint8_t> WriteRawContainer(const RawContainer& c) {
  std::vector<uint8_t> out(kKernelCacheHeaderSize, 0);
  MemCopy(out.data(), "comp", 4);
  for (size_t i = 0; i < 4; ++i) out[4 + i] = i < c.method.size() ? uint8_t(c.method[i]) : 0;
  PutBe32(out.data() + kKernelCacheAdler32Offset, c.adler32);
  PutBe32(out.data() + kKernelCacheUncompressedSizeOffset, c.uncompressed_size);
  PutBe32(out.data() + kKernelCacheCompressedSizeOffset, c.compressed_size);
  StoreLe32(out.data() + kKernelCacheSlideSupportOffset, c.slide_support);
  out.insert(out.end(), c.compressed.begin(), c.compressed.end());
  return out;
}

std::vector<uint8_t> BuildContainer(const uint8_t* kernel, size_t size, const BuildOptions& options) {
  RawContainer c;
  c.method = options.method == Method::kLzvn ? "lzvn" : "lzss";
  c.compressed = options.method == Method::kLzvn ? LzvnEncode(kernel, size) : LzssEncode(kernel, size);
  c.adler32 = CalculateAdler32(kernel, size) + (options.corrupt_adler32 ? 1 : 0);
  c.uncompressed_size = static_cast<uint32_t>(size);
  c.compressed_size = static_cast<uint32_t>(c.compressed.size());
  c.slide_support = options.slide_support ? 1 : 0;
  return WriteRawContainer(c);
}

std::vector<uint8_t> BuildContainer(const std::vector<uint8_t>& kernel, const BuildOptions& options) {
  return BuildContainer(kernel.data(), kernel.size(), options);
}

bool FileReport::ok() const {
  if (!problems.empty() || slices.empty()) return false;
  return std::all_of(slices.begin(), slices.end(), [](const SliceReport& s) { return s.problems.empty(); });
}

FileReport InspectFile(const std::vector<uint8_t>& file) {
  FileReport out;
  ByteSpan bytes(file.data(), file.size());
  uint32_t magic = 0;
  if (bytes.ReadBe32(0, &magic) && (magic == kUniversalMagic || LoadLe32(file.data()) == kUniversalMagic) &&
      file.size() >= 8) {
    out.universal = true;
    InspectUniversal(bytes, magic == kUniversalMagic, &out);
    return out;
  }
  if (file.size() < 8) out.problems.push_back("file of " + std::to_string(file.size()) + " bytes is too short");
  SliceReport whole;
  whole.size = file.size();
  InspectSlice(bytes, &whole);
  out.slices.push_back(std::move(whole));
  return out;
}

}  // namespace kernel_cache
