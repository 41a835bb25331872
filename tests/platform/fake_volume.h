// An in-memory volume for the loader's tests: a handle with a device path and a simple
// file system over a map of files. Installs itself through the public TestFirmware API.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "efi/protocols/device_path.h"
#include "efi/protocols/simple_file_system.h"
#include "testfw/test_firmware.h"

class FakeVolume {
 public:
  // tag makes the device path of each volume distinct.
  FakeVolume(TestFirmware& fw, uint8_t tag);
  ~FakeVolume();

  void AddFile(const std::u16string& path, const std::vector<uint8_t>& data) { files_[path] = data; }
  void AddFile(const std::u16string& path, const std::string& text) {
    files_[path] = std::vector<uint8_t>(text.begin(), text.end());
  }
  // Read hands out at most this many bytes per call (0: all).
  void SetReadChunk(size_t bytes) { read_chunk_ = bytes; }

  EFI_HANDLE handle() const { return handle_; }
  const std::vector<uint8_t>& device_path() const { return device_path_; }
  int open_files() const { return open_files_; }

 private:
  struct File;
  static EFI_STATUS EFIAPI OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* fs, EFI_FILE_PROTOCOL** root);
  static EFI_STATUS EFIAPI Open(EFI_FILE_PROTOCOL* self, EFI_FILE_PROTOCOL** out, const CHAR16* name, UINT64 mode,
                                UINT64 attributes);
  static EFI_STATUS EFIAPI Close(EFI_FILE_PROTOCOL* self);
  static EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* self, UINTN* size, VOID* buffer);
  static EFI_STATUS EFIAPI GetInfo(EFI_FILE_PROTOCOL* self, const EFI_GUID* type, UINTN* size, VOID* buffer);
  File* NewFile(const std::u16string& path);

  struct FsWithOwner {
    EFI_SIMPLE_FILE_SYSTEM_PROTOCOL fs;
    FakeVolume* owner;
  } fs_{};
  EFI_HANDLE handle_ = nullptr;
  std::vector<uint8_t> device_path_;
  std::map<std::u16string, std::vector<uint8_t>> files_;
  std::vector<std::unique_ptr<File>> file_objects_;
  size_t read_chunk_ = 0;
  int open_files_ = 0;
};
