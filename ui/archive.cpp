#include "ui/archive.h"

#include "lib/mem.h"
#include "lib/string.h"
#include "memory/memory.h"
#include "draw/log_error.h"

namespace {

UINT32 RecordCount(const Archive* archive) { return LoadLe16(archive->data + 2); }

const UINT8* RecordBytes(const Archive* archive, UINT32 index) {
  return archive->data + kArchiveHeaderSize + UINTN(index) * kArchiveRecordSize;
}

UINT32 Build(const void* data, UINT64 size, BOOLEAN owns, Archive** out_archive) {
  if (!out_archive) {
    DULogError("ArchiveCreate", "archive is NULL");
    return kArchiveNoOutput;
  }
  *out_archive = nullptr;
  if (!data || size < kArchiveHeaderSize) {
    DULogError("ArchiveCreate", "archive of %d bytes has no header", static_cast<UINT32>(size));
    return kArchiveFailed;
  }
  UINT32 count = LoadLe16(static_cast<const UINT8*>(data) + 2);
  if (kArchiveHeaderSize + UINT64(count) * kArchiveRecordSize > size) {
    DULogError("ArchiveCreate", "%d entry records do not fit in %ld bytes", count, size);
    return kArchiveFailed;
  }
  auto* archive = static_cast<Archive*>(PoolAllocateZero(sizeof(Archive)));
  if (!archive) return kArchiveFailed;
  archive->size = size;
  archive->data = static_cast<const UINT8*>(data);
  UINT32 reachable = ArchiveIndexedCount(archive);
  archive->dictionary = DictionaryCreate(2 * reachable);
  if (!archive->dictionary) {
    PoolFree(archive);
    return kArchiveFailed;
  }
  for (UINT32 i = 0; i < reachable; ++i) {
    const UINT8* record = RecordBytes(archive, i);
    const char* name = reinterpret_cast<const char*>(record);
    if (AsciiStrnLen(name, kArchiveNameSize) == kArchiveNameSize) {
      DULogError("ArchiveCreate", "entry %d has no NUL within its 64-byte name", i);
      ArchiveDestroy(archive);
      return kArchiveFailed;
    }
    if (DictionarySetValueForKey(archive->dictionary, const_cast<UINT8*>(record), name) != 0) {
      ArchiveDestroy(archive);
      return kArchiveFailed;
    }
  }
  archive->owns_data = owns;
  *out_archive = archive;
  return kArchiveOk;
}

// Appends one file to a merged archive under construction.
bool Append(UINT8* merged, UINT32* used_end, const ArchiveRecord& record, const Archive* from) {
  UINT32 count = LoadLe16(merged + 2);
  if (count >= kArchiveMergedMaxEntries) return false;
  if (record.offset >= from->size || record.length > from->size - record.offset) return false;
  UINT8* slot = merged + kArchiveHeaderSize + UINTN(count) * kArchiveRecordSize;
  MemCopy(slot, record.name, AsciiStrLen(record.name));  // the rest of the name stays NUL
  StoreLe32(slot + kArchiveNameSize, *used_end);
  StoreLe32(slot + kArchiveNameSize + 4, record.length);
  MemCopy(merged + *used_end, from->data + record.offset, record.length);
  *used_end += record.length;
  StoreLe16(merged + 2, static_cast<UINT16>(count + 1));
  return true;
}

bool AppendAll(UINT8* merged, UINT32* used_end, const Archive* from) {
  UINT32 reachable = ArchiveIndexedCount(from);
  for (UINT32 i = 0; i < reachable; ++i) {
    if (!Append(merged, used_end, ArchiveRecordAt(from, i), from)) return false;
  }
  return true;
}

// The data length of every reachable file; false when one lies outside the archive (checked
// before anything is allocated for a merge).
bool ReachableDataLength(const Archive* archive, UINT64* total) {
  *total = 0;
  UINT32 reachable = ArchiveIndexedCount(archive);
  for (UINT32 i = 0; i < reachable; ++i) {
    ArchiveRecord record = ArchiveRecordAt(archive, i);
    if (record.offset >= archive->size || record.length > archive->size - record.offset) return false;
    *total += record.length;
  }
  return true;
}

}  // namespace

UINT32 ArchiveIndexedCount(const Archive* archive) {
  UINT32 count = RecordCount(archive);
  for (UINT32 i = 0; i < count; ++i) {
    if (LoadLe32(RecordBytes(archive, i) + kArchiveNameSize + 4) == 0) return i;
  }
  return count;
}

ArchiveRecord ArchiveRecordAt(const Archive* archive, UINT32 index) {
  const UINT8* record = RecordBytes(archive, index);
  return ArchiveRecord{reinterpret_cast<const char*>(record), LoadLe32(record + kArchiveNameSize),
                       LoadLe32(record + kArchiveNameSize + 4)};
}

UINT32 ArchiveCreate(const void* data, UINT64 size, Archive** out_archive) {
  return Build(data, size, FALSE, out_archive);
}

UINT32 ArchiveCreateOwning(void* data, UINT64 size, Archive** out_archive) {
  return Build(data, size, TRUE, out_archive);
}

UINT32 ArchiveCreateWithArchives(const Archive* first, const Archive* second, Archive** out_archive) {
  if (!out_archive) {
    DULogError("ArchiveCreateWithArchives", "outArchive is NULL");
    return kArchiveNoOutput;
  }
  *out_archive = nullptr;
  if (!first || !second) {
    DULogError("ArchiveCreateWithArchives", "archive is NULL");
    return kArchiveMissing;
  }
  UINT64 first_length = 0, second_length = 0;
  if (!ReachableDataLength(first, &first_length)) {
    DULogError("ArchiveCreateWithArchives", "error appending inArchive1");
    return kArchiveFailed;
  }
  if (!ReachableDataLength(second, &second_length)) {
    DULogError("ArchiveCreateWithArchives", "error appending inArchive2");
    return kArchiveFailed;
  }
  UINT64 total = kArchiveMergedDataStart + first_length + second_length;
  if (total > 0xFFFFFFFFull) {
    DULogError("ArchiveCreateWithArchives", "merged archive would hold %ld bytes", total);
    return kArchiveFailed;
  }
  auto* merged = static_cast<UINT8*>(PoolAllocateZero(total));
  if (!merged) {
    DULogError("ArchiveCreateWithArchives", "no memory for %ld bytes", total);
    return kArchiveFailed;
  }
  StoreLe16(merged, LoadLe16(first->data));
  UINT32 used_end = kArchiveMergedDataStart;
  if (!AppendAll(merged, &used_end, first)) {
    DULogError("ArchiveCreateWithArchives", "error appending inArchive1");
    PoolFree(merged);
    return kArchiveFailed;
  }
  if (!AppendAll(merged, &used_end, second)) {
    DULogError("ArchiveCreateWithArchives", "error appending inArchive2");
    PoolFree(merged);
    return kArchiveFailed;
  }
  UINT32 result = ArchiveCreateOwning(merged, total, out_archive);
  if (result != kArchiveOk) PoolFree(merged);
  return result;
}

void ArchiveDestroy(Archive* archive) {
  if (!archive) return;
  DictionaryDestroy(archive->dictionary);
  if (archive->owns_data) PoolFree(const_cast<UINT8*>(archive->data));
  PoolFree(archive);
}

UINT32 ArchiveGetData(const Archive* archive, const char* name, BOOLEAN copy, const void** out_data,
                      UINT32* out_length, BOOLEAN log_missing) {
  if (!archive) {
    DULogError("ArchiveGetData", "archive is NULL");
    return kArchiveMissing;
  }
  if (!out_data) {
    DULogError("ArchiveGetData", "outData is NULL");
    return kArchiveNoOutput;
  }
  *out_data = nullptr;
  if (!name) {
    DULogError("ArchiveGetData", "fileName is NULL");
    return kArchiveFailed;
  }
  auto* record = static_cast<const UINT8*>(DictionaryValueForKey(archive->dictionary, name));
  if (!record) {
    if (log_missing) DULogError("ArchiveGetData", "Couldn't find file: %s", name);
    return kArchiveFileNotFound;
  }
  UINT32 offset = LoadLe32(record + kArchiveNameSize);
  UINT32 length = LoadLe32(record + kArchiveNameSize + 4);
  if (offset >= archive->size) {
    DULogError("ArchiveGetData", "data out of bounds (readPosition >= archive->size)");
    return kArchiveFailed;
  }
  if (length > archive->size - offset) {
    DULogError("ArchiveGetData", "data out of bounds (readPosition + length > archive->size) for %s", name);
    return kArchiveFailed;
  }
  const UINT8* data = archive->data + offset;
  if (copy) {
    void* block = PoolAllocate(length);
    if (!block) {
      DULogError("ArchiveGetData", "no memory to copy %s (%d bytes)", name, length);
      return kArchiveFailed;
    }
    MemCopy(block, data, length);
    data = static_cast<const UINT8*>(block);
  }
  *out_data = data;
  if (out_length) *out_length = length;
  return kArchiveOk;
}
