#include "testfw/memory_smc.h"

#include <cstring>

#include "testfw/test_firmware.h"

MemorySmc::MemorySmc() {
  protocol_.SmcReadValue = Read;
  protocol_.SmcWriteValue = Write;
  TestFirmware::Current().InstallProtocol(nullptr, kTarnSmcIoProtocolGuid, &protocol_);
}

uint32_t MemorySmc::KeyCode(const std::string& key) {
  uint32_t code = 0;
  for (size_t i = 0; i < 4; ++i) code = (code << 8) | (i < key.size() ? uint8_t(key[i]) : uint8_t(' '));
  return code;
}

void MemorySmc::SetKey(const std::string& key, std::vector<uint8_t> value) { keys_[KeyCode(key)].value = std::move(value); }

std::vector<uint8_t> MemorySmc::Value(const std::string& key) const {
  auto it = keys_.find(KeyCode(key));
  return it == keys_.end() ? std::vector<uint8_t>() : it->second.value;
}

void MemorySmc::FailReads(const std::string& key, int n, EFI_STATUS status) {
  Entry& e = keys_[KeyCode(key)];
  e.fail_reads = n;
  e.read_status = status;
}

void MemorySmc::FailWrites(const std::string& key, int n, EFI_STATUS status) {
  Entry& e = keys_[KeyCode(key)];
  e.fail_writes = n;
  e.write_status = status;
}

int MemorySmc::Reads(const std::string& key) const {
  auto it = keys_.find(KeyCode(key));
  return it == keys_.end() ? 0 : it->second.reads;
}

int MemorySmc::Writes(const std::string& key) const {
  auto it = keys_.find(KeyCode(key));
  return it == keys_.end() ? 0 : it->second.writes;
}

EFI_STATUS EFIAPI MemorySmc::Read(TarnSmcIoProtocol* self, UINT32 key, UINTN size, VOID* buffer) {
  MemorySmc* smc = reinterpret_cast<MemorySmc*>(self);
  if (!buffer) return EFI_INVALID_PARAMETER;
  Entry& e = smc->keys_[key];
  ++e.reads;
  if (e.fail_reads > 0) {
    --e.fail_reads;
    std::memset(buffer, 0xEE, size);
    return e.read_status;
  }
  if (e.value.empty()) return EFI_NOT_FOUND;
  if (size != e.value.size()) return EFI_INVALID_PARAMETER;
  std::memcpy(buffer, e.value.data(), size);
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MemorySmc::Write(TarnSmcIoProtocol* self, UINT32 key, UINTN size, const VOID* buffer) {
  MemorySmc* smc = reinterpret_cast<MemorySmc*>(self);
  if (!buffer || size == 0) return EFI_INVALID_PARAMETER;
  Entry& e = smc->keys_[key];
  ++e.writes;
  if (e.fail_writes > 0) {
    --e.fail_writes;
    return e.write_status;
  }
  const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
  e.value.assign(bytes, bytes + size);
  return EFI_SUCCESS;
}
