// hearthtool efires pack|list|extract|merge: resource archives as the login window reads them.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "memory/memory.h"
#include "tools/lib/host_services.h"
#include "tools/hearthtool/command.h"
#include "tools/lib/efires.h"
#include "ui/archive.h"

namespace {

constexpr char kHelp[] = R"(usage: hearthtool efires pack OUT [--format N] FILE|NAME=FILE ...
       hearthtool efires list ARCHIVE
       hearthtool efires extract ARCHIVE DIR [NAME ...]
       hearthtool efires merge FIRST SECOND -o OUT

pack     writes a resource archive (".efires") holding the files in the order given, each
         under its base name or the NAME before "=". Names hold 1 to 63 bytes; empty files
         are refused (a record of length 0 ends the archive's index). --format sets the
         16-bit format word (default 0).
list     prints the format word and every reachable file: name, length, offset.
extract  writes the files (all, or the NAMEs given) into DIR, read through hearth's own
         archive lookup.
merge    writes the archive hearth builds when it merges FIRST and SECOND: room for 1024
         records, data from offset 73732, FIRST's files before SECOND's (FIRST wins a name
         both hold). More than 1023 files together are refused.

Archives with records or data outside the file, names without a NUL or files whose data
overlap are refused. See docs/resource-archives.md.

Exit status: 0 done, 1 a malformed archive or a refused input, 2 usage, 3 a file
unreadable or unwritable.
)";

int Usage(const std::string& message) {
  std::fprintf(stderr, "hearthtool efires: %s\n\n%s", message.c_str(), kHelp);
  return kExitUsage;
}

int Refuse(const std::string& what, const std::string& why) {
  std::fprintf(stderr, "hearthtool efires: %s: %s\n", what.c_str(), why.c_str());
  return kExitBadInput;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads and checks an archive; prints warnings about duplicate and unreachable records.
int Load(const std::string& path, std::vector<uint8_t>* bytes, EfiresContents* contents) {
  if (!ReadWholeFile(path, bytes)) return kExitIoError;
  std::string error;
  std::vector<std::string> warnings;
  if (!EfiresRead(*bytes, contents, &error, &warnings)) return Refuse(path, error);
  for (const std::string& w : warnings) std::fprintf(stderr, "hearthtool efires: %s: warning: %s\n", path.c_str(), w.c_str());
  return kExitOk;
}

int Pack(const std::vector<std::string>& args) {
  if (args.size() < 2) return Usage("pack needs OUT and at least one FILE");
  EfiresContents contents;
  std::string out_path = args[1];
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--format") {
      if (i + 1 >= args.size()) return Usage("--format needs a number");
      char* end = nullptr;
      unsigned long value = std::strtoul(args[++i].c_str(), &end, 0);
      if (args[i].empty() || *end || value > 0xFFFF) return Usage("--format needs a number from 0 to 65535");
      contents.format = static_cast<uint16_t>(value);
      continue;
    }
    size_t equals = a.find('=');
    std::string name = equals == std::string::npos ? BaseName(a) : a.substr(0, equals);
    std::string path = equals == std::string::npos ? a : a.substr(equals + 1);
    EfiresFile file{name, {}, 0};
    if (!ReadWholeFile(path, &file.data)) return kExitIoError;
    contents.files.push_back(std::move(file));
  }
  if (contents.files.empty()) return Usage("pack needs at least one FILE");
  std::vector<uint8_t> archive;
  std::string error;
  if (!EfiresWrite(contents, &archive, &error)) return Refuse(out_path, error);
  if (!WriteWholeFile(out_path, archive)) return kExitIoError;
  std::printf("%s: %zu files, %zu bytes\n", out_path.c_str(), contents.files.size(), archive.size());
  return kExitOk;
}

int List(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage("list needs exactly one ARCHIVE");
  std::vector<uint8_t> bytes;
  EfiresContents contents;
  if (int rc = Load(args[1], &bytes, &contents)) return rc;
  std::printf("format 0x%04X, %zu files\n", contents.format, contents.files.size());
  for (const EfiresFile& f : contents.files) {
    std::printf("%-40s %10zu bytes  at %u\n", f.name.c_str(), f.data.size(), f.offset);
  }
  return kExitOk;
}

int Extract(const std::vector<std::string>& args) {
  if (args.size() < 3) return Usage("extract needs ARCHIVE and DIR");
  std::vector<uint8_t> bytes;
  EfiresContents contents;
  if (int rc = Load(args[1], &bytes, &contents)) return rc;
  std::vector<std::string> names(args.begin() + 3, args.end());
  if (names.empty()) {
    for (const EfiresFile& f : contents.files) names.push_back(f.name);
  }
  HostServices services;
  Archive* archive = nullptr;
  if (ArchiveCreate(bytes.data(), bytes.size(), &archive) != kArchiveOk) return Refuse(args[1], "hearth refuses it");
  int rc = kExitOk;
  for (const std::string& name : names) {
    if (name.find('/') != std::string::npos || name == "." || name == "..") {
      rc = Refuse(name, "not a plain file name; not written");
      continue;
    }
    const void* data = nullptr;
    UINT32 length = 0;
    if (ArchiveGetData(archive, name.c_str(), FALSE, &data, &length, FALSE) != kArchiveOk) {
      rc = Refuse(args[1], "no file '" + name + "'");
      continue;
    }
    const auto* p = static_cast<const uint8_t*>(data);
    if (!WriteWholeFile(args[2] + "/" + name, std::vector<uint8_t>(p, p + length))) {
      ArchiveDestroy(archive);
      return kExitIoError;
    }
    std::printf("%s (%u bytes)\n", name.c_str(), length);
  }
  ArchiveDestroy(archive);
  return rc;
}

int Merge(const std::vector<std::string>& args) {
  std::vector<std::string> inputs;
  std::string out_path;
  for (size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      out_path = args[++i];
    } else if (!args[i].empty() && args[i][0] == '-') {
      return Usage("unknown or incomplete option '" + args[i] + "'");
    } else {
      inputs.push_back(args[i]);
    }
  }
  if (inputs.size() != 2 || out_path.empty()) return Usage("merge needs FIRST, SECOND and -o OUT");
  std::vector<uint8_t> first_bytes, second_bytes;
  EfiresContents first, second;
  if (int rc = Load(inputs[0], &first_bytes, &first)) return rc;
  if (int rc = Load(inputs[1], &second_bytes, &second)) return rc;
  size_t total = first.files.size() + second.files.size();
  if (total > kArchiveMergedMaxEntries) {
    return Refuse(out_path, std::to_string(total) + " files; a merged archive holds at most " +
                                std::to_string(kArchiveMergedMaxEntries));
  }
  HostServices services;
  Archive *a = nullptr, *b = nullptr, *merged = nullptr;
  ArchiveCreate(first_bytes.data(), first_bytes.size(), &a);
  ArchiveCreate(second_bytes.data(), second_bytes.size(), &b);
  UINT32 result = ArchiveCreateWithArchives(a, b, &merged);
  std::vector<uint8_t> out;
  if (result == kArchiveOk) out.assign(merged->data, merged->data + merged->size);
  ArchiveDestroy(merged);
  ArchiveDestroy(a);
  ArchiveDestroy(b);
  if (result != kArchiveOk) return Refuse(out_path, "hearth could not merge the archives");
  if (!WriteWholeFile(out_path, out)) return kExitIoError;
  std::printf("%s: %zu files, %zu bytes\n", out_path.c_str(), total, out.size());
  return kExitOk;
}

int Run(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("name pack, list, extract or merge");
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
  }
  if (args[0] == "pack") return Pack(args);
  if (args[0] == "list") return List(args);
  if (args[0] == "extract") return Extract(args);
  if (args[0] == "merge") return Merge(args);
  return Usage("unknown action '" + args[0] + "'");
}

}  // namespace

HEARTHTOOL_COMMAND(gEfiresCommand, "efires", "pack, list, extract or merge resource archives (.efires)", Run);
