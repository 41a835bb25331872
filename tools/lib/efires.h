// Host side of resource archives (".efires", docs/resource-archives.md): writing an archive
// from named files, and a strict reading that reports every fault an archive writer should
// never produce. hearth's own reader (ui/archive.h) is what the loader runs; `hearthtool
// efires` and the tests use both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct EfiresFile {
  std::string name;
  std::vector<uint8_t> data;
  uint32_t offset = 0;  // where EfiresRead found the data (EfiresWrite ignores it)
};

struct EfiresContents {
  uint16_t format = 0;
  std::vector<EfiresFile> files;
};

// Names hold at most this many bytes (a NUL follows within the 64-byte field).
constexpr size_t kEfiresMaxNameLength = 63;

// Records first, then the files' data one after another in the same order. Refuses an empty
// name, a name over 63 bytes or with a NUL inside, an empty file (a record of length 0 ends
// the index), a duplicate name, more than 65535 files and archives past 4 GiB.
bool EfiresWrite(const EfiresContents& contents, std::vector<uint8_t>* out, std::string* error);

// Reads every record up to the first of length 0 and checks the archive as a writer should
// have made it: header and records inside the file, names NUL-terminated, data inside the
// file, after the records and not overlapping another file's data. Duplicate names are
// reported in *warnings (the first one wins in hearth) but are not an error.
bool EfiresRead(const std::vector<uint8_t>& archive, EfiresContents* out, std::string* error,
                std::vector<std::string>* warnings = nullptr);
