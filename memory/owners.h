// Owners that give firmware resources back on every path out of a scope. Pool memory goes
// through the tracked allocator, so whatever an owner still holds when a failure ends the
// boot (FailBoot does not return, no destructor runs) is handed back with everything else.
// None of them can be copied.
#pragma once

#include "efi/efi.h"
#include "efi/protocols/simple_file_system.h"
#include "memory/memory.h"

// Pool memory.
class PoolBuffer {
 public:
  PoolBuffer() = default;
  ~PoolBuffer() { Free(); }
  PoolBuffer(const PoolBuffer&) = delete;
  PoolBuffer& operator=(const PoolBuffer&) = delete;

  // Frees what was held and takes a new block (a zero-byte request still gets one).
  [[nodiscard]] EFI_STATUS Allocate(UINTN size) {
    Free();
    data_ = PoolAllocate(size ? size : 1);
    return data_ ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  }
  // The same, zero-filled.
  [[nodiscard]] EFI_STATUS AllocateZero(UINTN size) {
    Free();
    data_ = PoolAllocateZero(size ? size : 1);
    return data_ ? EFI_SUCCESS : EFI_OUT_OF_RESOURCES;
  }
  // Takes over a pool block the firmware allocated for the caller (exit data, a handle
  // list), tracked from now on. A block that cannot be tracked is freed at once.
  [[nodiscard]] EFI_STATUS Adopt(void* data) {
    Free();
    EFI_STATUS status = PoolTrack(data);
    if (EFI_ERROR(status)) return status;
    data_ = data;
    return EFI_SUCCESS;
  }
  void Free() {
    PoolFree(data_);
    data_ = nullptr;
  }
  // For a function that hands back a pool block through a pointer: frees what was held
  // first; the block stored there is owned from then on.
  template <typename T>
  T** out() {
    Free();
    return reinterpret_cast<T**>(&data_);
  }
  // Gives the block up to the caller, who frees it.
  template <typename T = void>
  T* Release() {
    T* data = static_cast<T*>(data_);
    data_ = nullptr;
    return data;
  }
  template <typename T = void>
  T* get() const {
    return static_cast<T*>(data_);
  }

 private:
  void* data_ = nullptr;
};

// Pool memory for a secret: zero-filled when taken and again before it goes back.
class SecretBuffer {
 public:
  explicit SecretBuffer(UINTN size) : data_(static_cast<UINT8*>(PoolAllocateZero(size))), size_(size) {}
  ~SecretBuffer() { PoolFreeSecret(data_, size_); }
  SecretBuffer(const SecretBuffer&) = delete;
  SecretBuffer& operator=(const SecretBuffer&) = delete;

  UINT8* get() const { return data_; }
  UINTN size() const { return size_; }

 private:
  UINT8* data_;
  UINTN size_;
};

// A run of pages.
class PageRun {
 public:
  PageRun() = default;
  ~PageRun() { Free(); }
  PageRun(const PageRun&) = delete;
  PageRun& operator=(const PageRun&) = delete;

  // Exactly the firmware's arguments; address is the limit or the place for those types.
  [[nodiscard]] EFI_STATUS Allocate(EFI_ALLOCATE_TYPE type, EFI_MEMORY_TYPE memory_type, UINTN pages,
                                    EFI_PHYSICAL_ADDRESS address = 0) {
    Free();
    EFI_STATUS status = PagesAllocate(type, memory_type, pages, &address);
    if (EFI_ERROR(status)) return status;
    address_ = address;
    pages_ = pages;
    return EFI_SUCCESS;
  }
  void Free() {
    if (pages_) (void)PagesFree(address_, pages_);
    address_ = 0;
    pages_ = 0;
  }
  // Keeps the pages for good (they outlive the scope, for instance for the kernel).
  EFI_PHYSICAL_ADDRESS Release() {
    EFI_PHYSICAL_ADDRESS address = address_;
    address_ = 0;
    pages_ = 0;
    return address;
  }
  EFI_PHYSICAL_ADDRESS address() const { return address_; }
  UINTN pages() const { return pages_; }

 private:
  EFI_PHYSICAL_ADDRESS address_ = 0;
  UINTN pages_ = 0;
};

// The handles that carry a protocol (empty when none does or on failure).
class HandleBuffer {
 public:
  HandleBuffer() = default;
  ~HandleBuffer() { buffer_.Free(); }
  HandleBuffer(const HandleBuffer&) = delete;
  HandleBuffer& operator=(const HandleBuffer&) = delete;

  [[nodiscard]] EFI_STATUS Locate(const EFI_GUID& protocol) { return Fill(ByProtocol, &protocol); }
  // Every handle in the firmware's database.
  [[nodiscard]] EFI_STATUS LocateAll() { return Fill(AllHandles, nullptr); }
  UINTN count() const { return count_; }
  EFI_HANDLE operator[](UINTN i) const { return buffer_.get<EFI_HANDLE>()[i]; }

 private:
  EFI_STATUS Fill(EFI_LOCATE_SEARCH_TYPE type, const EFI_GUID* protocol) {
    buffer_.Free();
    count_ = 0;
    EFI_HANDLE* handles = nullptr;
    UINTN count = 0;
    EFI_STATUS status = gBS->LocateHandleBuffer(type, protocol, nullptr, &count, &handles);
    if (EFI_ERROR(status)) return status;
    if (!handles) return EFI_NOT_FOUND;
    status = buffer_.Adopt(handles);
    if (EFI_ERROR(status)) return status;
    count_ = count;
    return EFI_SUCCESS;
  }

  PoolBuffer buffer_;
  UINTN count_ = 0;
};

// An open file.
class OpenFile {
 public:
  OpenFile() = default;
  ~OpenFile() { Close(); }
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;

  // For the firmware to fill: closes what was open first.
  EFI_FILE_PROTOCOL** out() {
    Close();
    return &file_;
  }
  EFI_FILE_PROTOCOL* get() const { return file_; }
  EFI_FILE_PROTOCOL* operator->() const { return file_; }
  // Hands the file on to the caller, who closes it.
  EFI_FILE_PROTOCOL* Release() {
    EFI_FILE_PROTOCOL* file = file_;
    file_ = nullptr;
    return file;
  }
  void Close() {
    if (file_) file_->Close(file_);
    file_ = nullptr;
  }

 private:
  EFI_FILE_PROTOCOL* file_ = nullptr;
};

// The records of who opened a protocol on a handle (OpenProtocolInformation).
class OpenedProtocol {
 public:
  OpenedProtocol() = default;
  ~OpenedProtocol() { buffer_.Free(); }
  OpenedProtocol(const OpenedProtocol&) = delete;
  OpenedProtocol& operator=(const OpenedProtocol&) = delete;

  [[nodiscard]] EFI_STATUS Read(EFI_HANDLE handle, const EFI_GUID& protocol) {
    buffer_.Free();
    count_ = 0;
    EFI_OPEN_PROTOCOL_INFORMATION_ENTRY* entries = nullptr;
    UINTN count = 0;
    EFI_STATUS status = gBS->OpenProtocolInformation(handle, &protocol, &entries, &count);
    if (EFI_ERROR(status)) return status;
    if (!entries) return EFI_NOT_FOUND;
    status = buffer_.Adopt(entries);
    if (EFI_ERROR(status)) return status;
    count_ = count;
    return EFI_SUCCESS;
  }
  UINTN count() const { return count_; }
  const EFI_OPEN_PROTOCOL_INFORMATION_ENTRY& operator[](UINTN i) const {
    return buffer_.get<EFI_OPEN_PROTOCOL_INFORMATION_ENTRY>()[i];
  }

 private:
  PoolBuffer buffer_;
  UINTN count_ = 0;
};

// Keeps callbacks at or below a task priority out while it lives.
class RaisedTpl {
 public:
  explicit RaisedTpl(EFI_TPL tpl) : old_(gBS->RaiseTPL(tpl)) {}
  ~RaisedTpl() { gBS->RestoreTPL(old_); }
  RaisedTpl(const RaisedTpl&) = delete;
  RaisedTpl& operator=(const RaisedTpl&) = delete;

 private:
  EFI_TPL old_;
};
