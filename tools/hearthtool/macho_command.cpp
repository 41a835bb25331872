// hearthtool macho: wraps a flat binary as a 64-bit Mach-O kernel, and shows or test-loads one.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "flags/boot_mode.h"
#include "files/boot_file.h"
#include "kernel/macho_format.h"
#include "kernel/macho_loader.h"
#include "config/kernel_slide.h"
#include "kernel/macho_walker.h"
#include "lib/mem.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/host_services.h"
#include "tools/lib/macho_writer.h"

namespace {

constexpr const char* kUsage =
    "usage: hearthtool macho wrap [--base ADDR] [--entry ADDR] [--source-name NAME] CODE.bin -o OUT\n"
    "       hearthtool macho inspect [--load] [--slide BYTES] FILE\n"
    "\n"
    "wrap     places a flat position-independent binary in a 64-bit Mach-O kernel: __TEXT at\n"
    "         ADDR (default 0xFFFFFF8002000000) with the header page and then the code, __DATA\n"
    "         with a relocated pointer to the header, __LINKEDIT with symbols; the entry point\n"
    "         defaults to the first byte of the code.\n"
    "inspect  lists the header, segments, sections, entry point and tables; with --load it also\n"
    "         loads the file with the boot loader's own loader into this process's memory at the\n"
    "         kernel's physical addresses (slid by BYTES when given) and prints where it landed.\n";

bool ParseNumber(const std::string& text, uint64_t* value) {
  char* end = nullptr;
  *value = std::strtoull(text.c_str(), &end, 0);
  return !text.empty() && end && *end == 0;
}

struct Options {
  std::vector<std::string> files;
  std::string output;
  macho::FlatKernel kernel;
  bool load = false;
  bool slide = false;
  uint64_t slide_bytes = 0;
};

// Returns kExitOk, or kExitUsage after printing what is wrong.
int ParseOptions(const std::vector<std::string>& args, Options* options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    bool has_value = i + 1 < args.size();
    uint64_t number = 0;
    if ((a == "--base" || a == "--entry" || a == "--slide") && (!has_value || !ParseNumber(args[i + 1], &number))) {
      std::fprintf(stderr, "hearthtool macho: %s needs a number\n", a.c_str());
      return kExitUsage;
    }
    if (a == "--base" || a == "--entry" || a == "--slide") {
      ++i;
      if (a == "--base") options->kernel.base = number;
      if (a == "--entry") options->kernel.entry = number;
      if (a == "--slide") {
        options->slide = true;
        options->slide_bytes = number;
      }
    } else if (a == "--load") {
      options->load = true;
    } else if (a == "-o" && has_value) {
      options->output = args[++i];
    } else if (a == "--source-name" && has_value) {
      options->kernel.source_name = args[++i];
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "hearthtool macho: unknown option %s\n%s", a.c_str(), kUsage);
      return kExitUsage;
    } else {
      options->files.push_back(a);
    }
  }
  return kExitOk;
}

int Wrap(const Options& options) {
  if (options.files.size() != 1 || options.output.empty()) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  std::vector<unsigned char> code;
  if (!ReadWholeFile(options.files[0], &code)) return kExitIoError;
  macho::Image image;
  std::vector<uint8_t> bytes;
  std::string error;
  if (!macho::WrapFlatBinary(code, options.kernel, &image, &error) || !macho::WriteImage(image, &bytes, &error)) {
    std::fprintf(stderr, "hearthtool macho wrap: %s\n", error.c_str());
    return kExitBadInput;
  }
  return WriteWholeFile(options.output, bytes) ? kExitOk : kExitIoError;
}

void PrintSegment(ByteSpan area, const MachOCommand& command) {
  const uint8_t* c = area.data() + command.Offset;
  char name[17] = {};
  MemCopy(name, c + kSegmentName, 16);
  std::printf("segment %-16s address 0x%016" PRIx64 " size 0x%" PRIx64 " file 0x%" PRIx64 "+0x%" PRIx64
              " protection %u/%u\n",
              name, LoadLe64(c + kSegmentAddress), LoadLe64(c + kSegmentVirtualSize), LoadLe64(c + kSegmentFileOffset),
              LoadLe64(c + kSegmentFileSize), LoadLe32(c + kSegmentInitProtection), LoadLe32(c + kSegmentMaxProtection));
  UINTN section = 0;
  for (bool more = MachOFirstSection(area, command, &section); more;
       more = MachONextSection(area, command, section, &section)) {
    MemCopy(name, area.data() + section + kSectionName, 16);
    std::printf("  section %-16s address 0x%016" PRIx64 " size 0x%" PRIx64 "\n", name,
                LoadLe64(area.data() + section + kSectionAddress), LoadLe64(area.data() + section + kSectionSize));
  }
}

void PrintCommand(ByteSpan area, const MachOCommand& command) {
  const uint8_t* c = area.data() + command.Offset;
  if (command.Code == kLcSegment64 && command.Size >= kSegmentCommandSize) {
    PrintSegment(area, command);
  } else if (command.Code == kLcUnixThread && command.Size >= kThreadInstructionPointer + 8) {
    std::printf("thread flavor %u entry 0x%016" PRIx64 "\n", LoadLe32(c + kThreadFlavor),
                LoadLe64(c + kThreadInstructionPointer));
  } else if (command.Code == kLcSymtab && command.Size >= kSymtabCommandSize) {
    std::printf("symbols %u at 0x%x\n", LoadLe32(c + kSymtabSymbolCount), LoadLe32(c + kSymtabSymbolOffset));
  } else if (command.Code == kLcDysymtab && command.Size >= kDysymtabCommandSize) {
    std::printf("local relocations %u at 0x%x\n", LoadLe32(c + kDysymtabLocalRelocationCount),
                LoadLe32(c + kDysymtabLocalRelocationOffset));
  } else {
    std::printf("command 0x%x, %u bytes\n", command.Code, command.Size);
  }
}

int PrintImage(ByteSpan image) {
  ByteSpan area;
  INT32 count = 0;
  if (!MachOHeaderCommands(image, &area, &count)) {
    std::fprintf(stderr, "hearthtool macho inspect: not a complete 64-bit Mach-O header\n");
    return kExitBadInput;
  }
  std::printf("64-bit Mach-O: cpu 0x%08x subtype %u, file type %u, flags 0x%08x, %d load commands\n",
              LoadLe32(image.data() + kMachOHeaderCpuType), LoadLe32(image.data() + kMachOHeaderCpuSubtype),
              LoadLe32(image.data() + kMachOHeaderFileType), LoadLe32(image.data() + kMachOHeaderFlags), count);
  MachOCommand command;
  EFI_STATUS status = MachOFirstCommand(area, count, &command);
  for (; !EFI_ERROR(status); status = MachONextCommand(area, count, command, &command)) PrintCommand(area, command);
  if (status != EFI_NOT_FOUND) {
    std::fprintf(stderr, "hearthtool macho inspect: a load command does not fit the command area\n");
    return kExitBadInput;
  }
  return kExitOk;
}

int PrintFile(const std::vector<unsigned char>& bytes) {
  if (bytes.size() >= 8 && LoadBe32(bytes.data()) == 0xCAFEBABE) {
    uint32_t count = LoadBe32(bytes.data() + 4);
    std::printf("universal file, %u slices\n", count);
    for (uint32_t i = 0; i < count && 8 + 20 * (i + 1) <= bytes.size(); ++i) {
      const uint8_t* e = bytes.data() + 8 + 20 * i;
      uint32_t offset = LoadBe32(e + 8), size = LoadBe32(e + 12);
      std::printf("slice %u: cpu 0x%08x subtype %u, offset 0x%x, size 0x%x\n", i, LoadBe32(e), LoadBe32(e + 4), offset,
                  size);
      ByteSpan slice;
      if (!ByteSpan(bytes.data(), bytes.size()).Slice(offset, size, &slice)) return kExitBadInput;
      int result = PrintImage(slice);
      if (result != kExitOk) return result;
    }
    return kExitOk;
  }
  return PrintImage(ByteSpan(bytes.data(), bytes.size()));
}

int LoadOnHost(const std::vector<unsigned char>& bytes, const Options& options) {
  HostServices services;
  if (options.slide) {
    BootModeFlags |= kBootModeSlide;
    KernelSlide = options.slide_bytes;
  }
  BootFile file;
  BootFileFromMemory(bytes.data(), bytes.size(), &file);
  KernelImageInfo info{};
  EFI_STATUS status = LoadKernelFromStream(&file, &info);
  if (EFI_ERROR(status)) {
    std::printf("load failed: status 0x%" PRIx64 "\n", uint64_t(status));
    return kExitBadInput;
  }
  std::printf("loaded%s: lowest 0x%016" PRIx64 " (physical 0x%" PRIx64 "), highest end 0x%016" PRIx64
              " (physical 0x%" PRIx64 "), entry 0x%016" PRIx64 " (physical 0x%" PRIx64 ")\n",
              (BootModeFlags & kBootModeSlide) ? " slid" : "", info.LowestAddress, info.LowestPhysical,
              info.HighestEnd, info.HighestPhysical, info.EntryPoint, info.EntryPhysical);
  return kExitOk;
}

int Inspect(const Options& options) {
  if (options.files.size() != 1) {
    std::fprintf(stderr, "%s", kUsage);
    return kExitUsage;
  }
  std::vector<unsigned char> bytes;
  if (!ReadWholeFile(options.files[0], &bytes)) return kExitIoError;
  int result = PrintFile(bytes);
  if (result == kExitOk && options.load) result = LoadOnHost(bytes, options);
  return result;
}

int RunMacho(const std::vector<std::string>& args) {
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    std::fprintf(args.empty() ? stderr : stdout, "%s", kUsage);
    return args.empty() ? kExitUsage : kExitOk;
  }
  Options options;
  int parsed = ParseOptions(std::vector<std::string>(args.begin() + 1, args.end()), &options);
  if (parsed != kExitOk) return parsed;
  if (args[0] == "wrap") return Wrap(options);
  if (args[0] == "inspect") return Inspect(options);
  std::fprintf(stderr, "hearthtool macho: unknown action '%s'\n%s", args[0].c_str(), kUsage);
  return kExitUsage;
}

}  // namespace

HEARTHTOOL_COMMAND(gMachoCommand, "macho", "wrap a flat binary as a Mach-O kernel; inspect or test-load one", RunMacho);
