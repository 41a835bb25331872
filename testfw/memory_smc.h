// An in-memory system management controller for host tests: the maker's SMC I/O protocol
// over a table of keys, installed on a new handle of the current TestFirmware.
//
//   MemorySmc smc;                        // installs itself
//   smc.SetKey("MSTc", {0x2A});
//   smc.FailReads("BATP", 3);             // the next three reads of BATP fail
//   ... code under test ...
//   EXPECT_EQ(smc.Reads("BATP"), 4);
//   EXPECT_EQ(smc.Value("HBKP"), std::vector<uint8_t>(32, 0));
//
// A read of an unknown key, or with a size other than the stored value's, answers
// EFI_NOT_FOUND / EFI_INVALID_PARAMETER; a failing read scribbles over the buffer first,
// as a half-finished controller transaction would. Keep the object alive while code runs.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "efi/protocols/tarn_smc.h"

class MemorySmc {
 public:
  MemorySmc();  // installs on a new handle of TestFirmware::Current()
  MemorySmc(const MemorySmc&) = delete;
  MemorySmc& operator=(const MemorySmc&) = delete;

  TarnSmcIoProtocol* Protocol() { return &protocol_; }

  void SetKey(const std::string& key, std::vector<uint8_t> value);
  // The stored value; empty when the key does not exist.
  std::vector<uint8_t> Value(const std::string& key) const;
  // The next n reads (or writes) of key fail with status.
  void FailReads(const std::string& key, int n, EFI_STATUS status = EFI_DEVICE_ERROR);
  void FailWrites(const std::string& key, int n, EFI_STATUS status = EFI_DEVICE_ERROR);
  // Calls made for key, failed ones included.
  int Reads(const std::string& key) const;
  int Writes(const std::string& key) const;

  static uint32_t KeyCode(const std::string& key);

 private:
  struct Entry {
    std::vector<uint8_t> value;
    int fail_reads = 0;
    int fail_writes = 0;
    EFI_STATUS read_status = EFI_DEVICE_ERROR;
    EFI_STATUS write_status = EFI_DEVICE_ERROR;
    int reads = 0;
    int writes = 0;
  };
  static EFI_STATUS EFIAPI Read(TarnSmcIoProtocol* self, UINT32 key, UINTN size, VOID* buffer);
  static EFI_STATUS EFIAPI Write(TarnSmcIoProtocol* self, UINT32 key, UINTN size, const VOID* buffer);

  TarnSmcIoProtocol protocol_{};  // first member: the protocol pointer is the object
  std::map<uint32_t, Entry> keys_;
};
