// Resource archives (".efires"): flat containers of named files, as the login window keeps
// its pictures, keyboard layouts and values. Little-endian:
//
//   offset 0   u16  format word (not interpreted; copied into merged archives)
//   offset 2   u16  number of entry records n
//   offset 4   n records of 72 bytes: 64-byte NUL-terminated, NUL-padded name,
//                   u32 offset of the data from the start of the archive, u32 length
//   anywhere after the records: the files' data
//
// A record of length 0 ends the table for lookups. docs/resource-archives.md describes the
// format for those who write archives.
//
// Results are small integers: 0 success, 1 general failure, 2 missing archive, 3 missing
// output, 1000 no such file. Failures are logged with the operation's name.
#pragma once

#include "efi/types.h"
#include "ui/dictionary.h"

constexpr UINT32 kArchiveHeaderSize = 4;
constexpr UINT32 kArchiveRecordSize = 72;
constexpr UINT32 kArchiveNameSize = 64;  // including the terminating NUL
// A merged archive reserves room for this many records; its data starts right after them.
constexpr UINT32 kArchiveMergedRecordRoom = 1024;
constexpr UINT32 kArchiveMergedDataStart = kArchiveHeaderSize + kArchiveMergedRecordRoom * kArchiveRecordSize;  // 73732
// Appending to a merged archive fails on the entry after this many.
constexpr UINT32 kArchiveMergedMaxEntries = 1023;

constexpr UINT32 kArchiveOk = 0;
constexpr UINT32 kArchiveFailed = 1;
constexpr UINT32 kArchiveMissing = 2;
constexpr UINT32 kArchiveNoOutput = 3;
constexpr UINT32 kArchiveFileNotFound = 1000;

struct Archive {
  UINT64 size;
  const UINT8* data;
  Dictionary* dictionary;  // entry name -> its 72-byte record
  BOOLEAN owns_data;       // the bytes are freed with the archive
};

// One record as stored.
struct ArchiveRecord {
  const char* name;  // NUL-terminated inside the record
  UINT32 offset;
  UINT32 length;
};

// Number of records a lookup can reach: those before the first record of length 0.
UINT32 ArchiveIndexedCount(const Archive* archive);
// The index-th record (index below the archive's record count).
ArchiveRecord ArchiveRecordAt(const Archive* archive, UINT32 index);

// Builds the handle and its dictionary (2 x n buckets) over data, which must outlive the
// archive (the caller keeps owning it). Fails with 1 when the header or the record table
// does not fit in size or a reachable name has no NUL within its 64 bytes.
UINT32 ArchiveCreate(const void* data, UINT64 size, Archive** out_archive);

// Takes ownership of data (a pool block) on success; on failure the caller still owns it.
UINT32 ArchiveCreateOwning(void* data, UINT64 size, Archive** out_archive);

// A new archive with every reachable entry of first and then of second, data packed from
// offset 73732 in entry order, first's format word. Fails ("error appending inArchive1/2")
// on the 1024th entry, on an entry whose data lies outside its archive, or when memory runs
// out. Names in both archives resolve to first's entry.
UINT32 ArchiveCreateWithArchives(const Archive* first, const Archive* second, Archive** out_archive);

// Frees the dictionary, the handle and owned data. Null is ignored.
void ArchiveDestroy(Archive* archive);

// Finds name. Without copy *out_data points into the archive (do not free it); with copy
// it is a fresh pool block the caller frees. Data that does not lie wholly inside the
// archive fails with 1. out_length may be null.
UINT32 ArchiveGetData(const Archive* archive, const char* name, BOOLEAN copy, const void** out_data,
                      UINT32* out_length, BOOLEAN log_missing);
