#include "tools/delve/imgsrc_info.h"

#include "tools/delve/plist_reader.h"

namespace delve {
namespace {

constexpr size_t kPositionOffset = 0;
constexpr size_t kDeviceOffset = 8;

uint32_t ReadLittle32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

VolumeEntry EntryFrom(const PlistValue& item) {
  VolumeEntry entry;
  if (item.kind != PlistValue::Kind::kDict || item.keys.empty() ||
      item.items.front().kind != PlistValue::Kind::kString) {
    return entry;
  }
  entry.valid = true;
  entry.identifier = item.keys.front();
  entry.name = item.items.front().text;
  return entry;
}

}  // namespace

std::vector<ImgsrcRecord> ParseImgsrcRecords(const std::vector<uint8_t>& value) {
  std::vector<ImgsrcRecord> records;
  for (size_t offset = 0; value.size() - offset >= kImgsrcRecordSize; offset += kImgsrcRecordSize) {
    ImgsrcRecord record;
    record.position = ReadLittle32(&value[offset + kPositionOffset]);
    record.deviceNumber = ReadLittle32(&value[offset + kDeviceOffset]);
    records.push_back(record);
  }
  return records;
}

ImgsrcChain ReadImgsrcChain(const DelveHost& host) {
  std::vector<uint8_t> value;
  if (host.readSystemValue("kern.imgsrcinfo", &value) != 0) return std::nullopt;
  std::vector<ImgsrcRecord> records = ParseImgsrcRecords(value);
  std::vector<std::string> devices(records.size());
  for (const ImgsrcRecord& record : records) {
    // A position outside the chain names no slot; its device stays unnamed.
    if (record.position >= devices.size()) continue;
    std::string name;
    if (host.blockDeviceName(record.deviceNumber, &name) == 0) devices[record.position] = name;
  }
  return devices;
}

std::vector<VolumeEntry> ParseVolumeEntries(const std::vector<uint8_t>& value) {
  PlistValue root;
  std::vector<VolumeEntry> entries;
  if (!ParsePlist(value.data(), value.size(), &root) || root.kind != PlistValue::Kind::kArray) {
    return entries;
  }
  for (const PlistValue& item : root.items) entries.push_back(EntryFrom(item));
  return entries;
}

std::optional<std::vector<uint8_t>> ReadOption(const DelveHost& host, const std::string& name) {
  std::vector<uint8_t> value;
  if (host.readDeviceTreeProperty("IODeviceTree:/options", name, &value) != 0) return std::nullopt;
  return value;
}

std::string OptionText(const std::vector<uint8_t>& value) {
  std::string text(value.begin(), value.end());
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

}  // namespace delve
