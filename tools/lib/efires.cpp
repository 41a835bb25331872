#include "tools/lib/efires.h"

#include <algorithm>
#include <set>
#include <utility>

#include "lib/mem.h"

namespace {

constexpr size_t kHeaderSize = 4;
constexpr size_t kRecordSize = 72;
constexpr size_t kNameField = 64;

}  // namespace

bool EfiresWrite(const EfiresContents& contents, std::vector<uint8_t>* out, std::string* error) {
  const auto& files = contents.files;
  if (files.size() > 0xFFFF) {
    *error = std::to_string(files.size()) + " files; an archive holds at most 65535";
    return false;
  }
  std::set<std::string> seen;
  uint64_t total = kHeaderSize + files.size() * kRecordSize;
  for (const EfiresFile& f : files) {
    if (f.name.empty()) {
      *error = "a file has an empty name";
      return false;
    }
    if (f.name.size() > kEfiresMaxNameLength) {
      *error = "name '" + f.name + "' has " + std::to_string(f.name.size()) + " bytes; at most 63 fit";
      return false;
    }
    if (f.name.find('\0') != std::string::npos) {
      *error = "name '" + f.name + "' holds a NUL";
      return false;
    }
    if (f.data.empty()) {
      *error = "file '" + f.name + "' is empty; a record of length 0 would end the archive's index";
      return false;
    }
    if (!seen.insert(f.name).second) {
      *error = "name '" + f.name + "' occurs twice";
      return false;
    }
    total += f.data.size();
  }
  if (total > 0xFFFFFFFFull) {
    *error = "the archive would hold " + std::to_string(total) + " bytes; offsets reach 4 GiB at most";
    return false;
  }
  out->assign(total, 0);
  StoreLe16(out->data(), contents.format);
  StoreLe16(out->data() + 2, static_cast<uint16_t>(files.size()));
  uint32_t at = static_cast<uint32_t>(kHeaderSize + files.size() * kRecordSize);
  for (size_t i = 0; i < files.size(); ++i) {
    uint8_t* record = out->data() + kHeaderSize + i * kRecordSize;
    std::copy(files[i].name.begin(), files[i].name.end(), record);
    StoreLe32(record + kNameField, at);
    StoreLe32(record + kNameField + 4, static_cast<uint32_t>(files[i].data.size()));
    std::copy(files[i].data.begin(), files[i].data.end(), out->data() + at);
    at += static_cast<uint32_t>(files[i].data.size());
  }
  return true;
}

bool EfiresRead(const std::vector<uint8_t>& archive, EfiresContents* out, std::string* error,
                std::vector<std::string>* warnings) {
  *out = EfiresContents{};
  if (archive.size() < kHeaderSize) {
    *error = "shorter than the 4-byte header";
    return false;
  }
  out->format = LoadLe16(archive.data());
  size_t count = LoadLe16(archive.data() + 2);
  size_t table_end = kHeaderSize + count * kRecordSize;
  if (table_end > archive.size()) {
    *error = std::to_string(count) + " records need " + std::to_string(table_end) + " bytes; the file has " +
             std::to_string(archive.size());
    return false;
  }
  std::vector<std::pair<uint64_t, uint64_t>> extents;  // [start, end) of each file's data
  std::set<std::string> seen;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* record = archive.data() + kHeaderSize + i * kRecordSize;
    uint32_t offset = LoadLe32(record + kNameField);
    uint32_t length = LoadLe32(record + kNameField + 4);
    if (length == 0) {
      if (warnings && i + 1 < count) {
        warnings->push_back("record " + std::to_string(i) + " has length 0: the " + std::to_string(count - i - 1) +
                            " records after it are not reachable");
      }
      break;
    }
    const char* name = reinterpret_cast<const char*>(record);
    size_t name_length = std::find(name, name + kNameField, '\0') - name;
    if (name_length == kNameField) {
      *error = "record " + std::to_string(i) + ": the name has no NUL within its 64 bytes";
      return false;
    }
    std::string file_name(name, name_length);
    if (uint64_t(offset) + length > archive.size()) {
      *error = "file '" + file_name + "': data at " + std::to_string(offset) + ", " + std::to_string(length) +
               " bytes, runs past the end of the archive (" + std::to_string(archive.size()) + " bytes)";
      return false;
    }
    if (offset < table_end) {
      *error = "file '" + file_name + "': data at " + std::to_string(offset) + " lies inside the record table";
      return false;
    }
    if (!seen.insert(file_name).second && warnings) {
      warnings->push_back("name '" + file_name + "' occurs again at record " + std::to_string(i) +
                          "; lookups find the first");
    }
    extents.push_back({offset, uint64_t(offset) + length});
    out->files.push_back(
        {file_name, std::vector<uint8_t>(archive.begin() + offset, archive.begin() + offset + length), offset});
  }
  std::vector<size_t> order(extents.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return extents[a] < extents[b]; });
  for (size_t k = 1; k < order.size(); ++k) {
    const auto& before = extents[order[k - 1]];
    const auto& here = extents[order[k]];
    if (here.first < before.second) {
      *error = "files '" + out->files[order[k - 1]].name + "' and '" + out->files[order[k]].name +
               "' overlap in the archive";
      return false;
    }
  }
  return true;
}
