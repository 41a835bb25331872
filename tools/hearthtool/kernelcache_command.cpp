// hearthtool kernelcache: builds kernel cache containers and universal files, and takes
// one apart.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "kernel/macho_format.h"
#include "kernel/macho_walker.h"
#include "lib/mem.h"
#include "lib/span.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/kernel_cache_container.h"
#include "tools/lib/macho_writer.h"

namespace {

constexpr const char* kUsage =
    "usage: hearthtool kernelcache build KERNEL -o OUT [--method lzvn|lzss] [--no-slide] [--corrupt-adler32]\n"
    "       hearthtool kernelcache fat OUT SLICE...\n"
    "       hearthtool kernelcache inspect FILE\n"
    "\n"
    "build    compresses a Mach-O kernel into a kernel cache container (LZVN unless --method\n"
    "         lzss) with its Adler-32; --no-slide writes a slide-support word of 0, which\n"
    "         makes the loader load the kernel unslid; --corrupt-adler32 stores the checksum\n"
    "         plus one (a corrupt container, for tests).\n"
    "fat      writes a universal file of the slices, each tagged with the processor type and\n"
    "         subtype of its Mach-O header (a container: of the kernel inside it).\n"
    "inspect  prints the slices, the container header, method, sizes, stored and computed\n"
    "         Adler-32 and the kernel's segments, and says what is wrong with a bad file\n"
    "         (exit status 1).\n";

int Usage() {
  std::fprintf(stderr, "%s", kUsage);
  return kExitUsage;
}

int Build(const std::vector<std::string>& args) {
  std::string input, output;
  kernel_cache::BuildOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (a == "--method" && i + 1 < args.size()) {
      std::string m = args[++i];
      if (m != "lzvn" && m != "lzss") {
        std::fprintf(stderr, "hearthtool kernelcache: --method takes lzvn or lzss, not '%s'\n", m.c_str());
        return kExitUsage;
      }
      options.method = m == "lzvn" ? kernel_cache::Method::kLzvn : kernel_cache::Method::kLzss;
    } else if (a == "--corrupt-adler32") {
      options.corrupt_adler32 = true;
    } else if (a == "--no-slide") {
      options.slide_support = false;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "hearthtool kernelcache: unknown option %s\n", a.c_str());
      return Usage();
    } else if (input.empty()) {
      input = a;
    } else {
      return Usage();
    }
  }
  if (input.empty() || output.empty()) return Usage();
  std::vector<unsigned char> kernel;
  if (!ReadWholeFile(input, &kernel)) return kExitIoError;
  ByteSpan area;
  INT32 count = 0;
  if (!MachOHeaderCommands(ByteSpan(kernel.data(), kernel.size()), &area, &count)) {
    std::fprintf(stderr, "hearthtool kernelcache: %s is not a 64-bit Mach-O kernel\n", input.c_str());
    return kExitBadInput;
  }
  if (kernel.size() > 0xFFFFFFFFull) {
    std::fprintf(stderr, "hearthtool kernelcache: %s is 4 GiB or larger\n", input.c_str());
    return kExitBadInput;
  }
  return WriteWholeFile(output, kernel_cache::BuildContainer(kernel, options)) ? kExitOk : kExitIoError;
}

// The processor type and subtype of a slice: from its Mach-O header, or that of the kernel
// inside a container.
bool SliceProcessor(const std::vector<uint8_t>& bytes, macho::Slice* slice) {
  kernel_cache::FileReport report = kernel_cache::InspectFile(bytes);
  if (report.universal || report.slices.size() != 1 || !report.slices[0].problems.empty()) return false;
  const std::vector<uint8_t>& kernel = report.slices[0].kernel;
  if (kernel.size() < kMachOHeaderSize || LoadLe32(kernel.data()) != kMachOMagic64) return false;
  slice->cpu_type = LoadLe32(kernel.data() + kMachOHeaderCpuType);
  slice->cpu_subtype = LoadLe32(kernel.data() + kMachOHeaderCpuSubtype);
  return true;
}

int Fat(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage();
  std::vector<macho::Slice> slices;
  for (size_t i = 1; i < args.size(); ++i) {
    macho::Slice slice;
    if (!ReadWholeFile(args[i], &slice.bytes)) return kExitIoError;
    if (!SliceProcessor(slice.bytes, &slice)) {
      std::fprintf(stderr, "hearthtool kernelcache: %s is neither a 64-bit Mach-O kernel nor a sound container\n",
                   args[i].c_str());
      return kExitBadInput;
    }
    slices.push_back(std::move(slice));
  }
  return WriteWholeFile(args[0], macho::WriteUniversal(slices)) ? kExitOk : kExitIoError;
}

void PrintSegments(const std::vector<uint8_t>& kernel) {
  ByteSpan area;
  INT32 count = 0;
  if (!MachOHeaderCommands(ByteSpan(kernel.data(), kernel.size()), &area, &count)) {
    std::printf("  kernel: not a 64-bit Mach-O image (%zu bytes)\n", kernel.size());
    return;
  }
  std::printf("  kernel: 64-bit Mach-O, cpu 0x%08x subtype 0x%x, flags 0x%08x, %d load commands\n",
              LoadLe32(kernel.data() + kMachOHeaderCpuType), LoadLe32(kernel.data() + kMachOHeaderCpuSubtype),
              LoadLe32(kernel.data() + kMachOHeaderFlags), count);
  MachOCommand segment;
  for (bool more = MachOFirstSegment(area, count, &segment); more;
       more = MachONextSegment(area, count, segment, &segment)) {
    if (segment.Size < kSegmentCommandSize) continue;
    const uint8_t* c = area.data() + segment.Offset;
    char name[kSegmentNameLength + 1] = {};
    MemCopy(name, c + kSegmentName, kSegmentNameLength);
    std::printf("    segment %-16s address 0x%016" PRIx64 " size 0x%" PRIx64 " file 0x%" PRIx64 "+0x%" PRIx64 "\n",
                name, LoadLe64(c + kSegmentAddress), LoadLe64(c + kSegmentVirtualSize),
                LoadLe64(c + kSegmentFileOffset), LoadLe64(c + kSegmentFileSize));
  }
}

void PrintSlice(const kernel_cache::SliceReport& s) {
  if (s.container) {
    std::printf("  container: method '%s', slide support %s (word 0x%x)\n", s.method.c_str(),
                s.slide_support ? "yes" : "no", s.slide_support);
    std::printf("  sizes: compressed 0x%x, uncompressed 0x%x, produced 0x%x\n", s.compressed_size,
                s.uncompressed_size, s.produced);
    std::printf("  Adler-32: stored 0x%08x, computed 0x%08x\n", s.stored_adler32, s.computed_adler32);
  } else {
    std::printf("  no container: the slice is loaded as it is\n");
  }
  if (s.problems.empty() || s.produced != 0 || !s.container) PrintSegments(s.kernel);
  for (const std::string& p : s.problems) std::printf("  PROBLEM: %s\n", p.c_str());
}

// The slice the loader takes: subtype 3 while nothing is taken, the preferred subtype always.
int ChosenSlice(const kernel_cache::FileReport& report, uint32_t preferred) {
  int chosen = -1;
  for (size_t i = 0; i < report.slices.size(); ++i) {
    const auto& s = report.slices[i];
    if (s.cpu_type != 0x01000007) continue;
    if ((s.cpu_subtype == 3 && chosen < 0) || s.cpu_subtype == preferred) chosen = int(i);
  }
  return chosen;
}

int Inspect(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage();
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(args[0], &bytes)) return kExitIoError;
  kernel_cache::FileReport report = kernel_cache::InspectFile(bytes);
  std::printf("%s: %zu bytes, %s\n", args[0].c_str(), bytes.size(),
              report.universal ? "universal file" : "single image");
  for (size_t i = 0; i < report.slices.size(); ++i) {
    const auto& s = report.slices[i];
    if (report.universal) {
      std::printf("slice %zu: cpu 0x%08x subtype 0x%x, offset 0x%" PRIx64 ", size 0x%" PRIx64 "\n", i, s.cpu_type,
                  s.cpu_subtype, s.offset, s.size);
    }
    PrintSlice(s);
  }
  if (report.universal) {
    int generic = ChosenSlice(report, 3), haswell = ChosenSlice(report, 8);
    if (generic < 0 && haswell < 0) report.problems.push_back("no x86-64 slice: the loader finds nothing to load");
    std::printf("loader takes: slice %d for subtype 3, slice %d for subtype 8 (-1: none)\n", generic, haswell);
  }
  for (const std::string& p : report.problems) std::printf("PROBLEM: %s\n", p.c_str());
  bool ok = report.ok() && report.problems.empty();
  std::printf("%s\n", ok ? "OK" : "BAD");
  return ok ? kExitOk : kExitBadInput;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage();
  if (args[0] == "--help" || args[0] == "-h" || (args.size() == 2 && (args[1] == "--help" || args[1] == "-h"))) {
    std::printf("%s", kUsage);
    return kExitOk;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "build") return Build(rest);
  if (args[0] == "fat") return Fat(rest);
  if (args[0] == "inspect") return Inspect(rest);
  std::fprintf(stderr, "hearthtool kernelcache: unknown action '%s'\n", args[0].c_str());
  return Usage();
}

}  // namespace

HEARTHTOOL_COMMAND(gKernelCacheCommand, "kernelcache",
                   "build, combine into universal files, or inspect kernel cache containers", Run);
