// Small owners that give firmware resources back on every path: pool memory and open files.
// The loader is a separate image from hearth and keeps no allocation tags, so it takes pool
// memory from the firmware directly.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/simple_file_system.h"

class PoolBuffer {
 public:
  PoolBuffer() = default;
  ~PoolBuffer() { Free(); }
  PoolBuffer(const PoolBuffer&) = delete;
  PoolBuffer& operator=(const PoolBuffer&) = delete;

  // Boot-services pool memory of the loader's data type; frees what was held before.
  EFI_STATUS Allocate(UINTN size) {
    Free();
    return gBS->AllocatePool(EfiLoaderData, size ? size : 1, &data_);
  }
  // Takes over memory the firmware allocated for the caller (LocateHandleBuffer, exit data).
  void Adopt(void* data) {
    Free();
    data_ = data;
  }
  void Free() {
    if (data_) gBS->FreePool(data_);
    data_ = nullptr;
  }
  template <typename T = void>
  T* get() const {
    return static_cast<T*>(data_);
  }

 private:
  void* data_ = nullptr;
};

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle() { Close(); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  EFI_FILE_PROTOCOL** out() {
    Close();
    return &file_;
  }
  EFI_FILE_PROTOCOL* get() const { return file_; }
  void Close() {
    if (file_) file_->Close(file_);
    file_ = nullptr;
  }

 private:
  EFI_FILE_PROTOCOL* file_ = nullptr;
};
