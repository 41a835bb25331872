// An in-memory data hub for host tests: a list of records handed out in order through
// GetNextRecord, installed on a new handle of the current TestFirmware.
//
//   MemoryDataHub hub;
//   hub.AddPlatformProperty(u"Model", {'T', 0, 'n', 0, 0, 0});   // the platform producer
//   hub.AddRecord(raw_bytes);                                      // anything else
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "efi/efi.h"
#include "efi/protocols/data_hub.h"

class MemoryDataHub {
 public:
  MemoryDataHub();
  MemoryDataHub(const MemoryDataHub&) = delete;
  MemoryDataHub& operator=(const MemoryDataHub&) = delete;

  // The producer GUID of platform-property records.
  static const EFI_GUID kPlatformProducer;

  // A record as the platform producer writes it: header, 16-byte data header, name length,
  // value length, the UCS-2 name with its NUL, the value. record_size_delta changes the
  // record size the header states (to describe broken records).
  void AddPlatformProperty(const std::u16string& name, const std::vector<uint8_t>& value,
                           const EFI_GUID& producer = kPlatformProducer, int record_size_delta = 0);
  // A record given whole (its header must state its size).
  void AddRecord(std::vector<uint8_t> record) { records_.push_back(std::move(record)); }

  int Calls() const { return calls_; }

 private:
  static EFI_STATUS EFIAPI GetNextRecord(EFI_DATA_HUB_PROTOCOL* self, UINT64* count, EFI_EVENT* filter,
                                         VOID** record);

  EFI_DATA_HUB_PROTOCOL protocol_{};  // first member: the protocol pointer is the object
  std::vector<std::vector<uint8_t>> records_;
  int calls_ = 0;
};
