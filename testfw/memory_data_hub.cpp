#include "testfw/memory_data_hub.h"

#include <cstring>

#include "lib/mem.h"
#include "testfw/test_firmware.h"

const EFI_GUID MemoryDataHub::kPlatformProducer = {0x64517CC8, 0x6561, 0x4051,
                                                   {0xB0, 0x3C, 0x59, 0x64, 0xB6, 0x0F, 0x4C, 0x7A}};

MemoryDataHub::MemoryDataHub() {
  protocol_.GetNextRecord = GetNextRecord;
  TestFirmware::Current().InstallProtocol(nullptr, kEfiDataHubProtocolGuid, &protocol_);
}

void MemoryDataHub::AddPlatformProperty(const std::u16string& name, const std::vector<uint8_t>& value,
                                        const EFI_GUID& producer, int record_size_delta) {
  uint32_t name_bytes = static_cast<uint32_t>((name.size() + 1) * 2);
  std::vector<uint8_t> record(96 + name_bytes + value.size(), 0);
  StoreLe16(&record[0], 1);
  StoreLe16(&record[2], kDataRecordHeaderSize);
  StoreLe32(&record[4], static_cast<uint32_t>(static_cast<int>(record.size()) + record_size_delta));
  std::memcpy(&record[24], &producer, sizeof(producer));
  StoreLe32(&record[88], name_bytes);
  StoreLe32(&record[92], static_cast<uint32_t>(value.size()));
  std::memcpy(&record[96], name.data(), name.size() * 2);
  if (!value.empty()) std::memcpy(&record[96 + name_bytes], value.data(), value.size());
  records_.push_back(std::move(record));
}

EFI_STATUS EFIAPI MemoryDataHub::GetNextRecord(EFI_DATA_HUB_PROTOCOL* self, UINT64* count, EFI_EVENT*,
                                               VOID** record) {
  auto* hub = reinterpret_cast<MemoryDataHub*>(self);
  ++hub->calls_;
  // Counts are 1-based positions; 0 asks for the first record.
  uint64_t index = *count == 0 ? 0 : *count - 1;
  if (index >= hub->records_.size()) return EFI_NOT_FOUND;
  *record = hub->records_[index].data();
  *count = index + 1 < hub->records_.size() ? index + 2 : 0;
  return EFI_SUCCESS;
}
