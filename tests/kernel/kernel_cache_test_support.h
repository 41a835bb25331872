// Kernels, containers, volumes and network sources for the kernel cache tests.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "efi/protocols/load_file.h"
#include "efi/protocols/simple_file_system.h"
#include "kernel/kernel_image_info.h"
#include "testfw/memory_file_system.h"
#include "tools/lib/kernel_cache_container.h"

namespace kc_test {

constexpr uint64_t kBase = 0xFFFFFF8002000000ull;  // physical 0x2000000
constexpr uint64_t kCode = kBase + 0x1000;
constexpr uint64_t kSlide = 0x200000;

// A position-independent kernel of `code_size` bytes of code that enters at kCode + tag,
// so a test can tell which file was loaded from the entry point.
std::vector<uint8_t> Kernel(uint32_t tag = 0, uint32_t subtype = 3, size_t code_size = 0x3000);
std::vector<uint8_t> Container(const std::vector<uint8_t>& kernel,
                               kernel_cache::Method method = kernel_cache::Method::kLzvn, bool slide_support = true);

// The pieces of a container, for writing broken ones.
kernel_cache::RawContainer RawFor(const std::vector<uint8_t>& kernel,
                                  kernel_cache::Method method = kernel_cache::Method::kLzvn);

// Loads with LoadPrelinkedKernel from a memory file.
EFI_STATUS LoadFromMemory(const std::vector<uint8_t>& file, KernelImageInfo* info);

// The debug log, kept in memory with stage marks ("hearth: Start X") included.
void CaptureLog();
std::string LogText();

// A volume whose root directory records every name opened through it.
class RecordingVolume {
 public:
  RecordingVolume();
  RecordingVolume(const RecordingVolume&) = delete;
  RecordingVolume& operator=(const RecordingVolume&) = delete;
  ~RecordingVolume();
  MemoryFileSystem& fs() { return fs_; }
  EFI_FILE_PROTOCOL* Root();
  const std::vector<std::string>& Opened() const { return opened_; }

 private:
  struct Proxy {
    EFI_FILE_PROTOCOL protocol;
    RecordingVolume* owner;
  };
  static EFI_STATUS EFIAPI Open(EFI_FILE_PROTOCOL* self, EFI_FILE_PROTOCOL** handle, const CHAR16* name,
                                UINT64 mode, UINT64 attributes);
  MemoryFileSystem fs_;
  EFI_FILE_PROTOCOL* real_root_ = nullptr;
  Proxy proxy_{};
  std::vector<std::string> opened_;
};

// A network boot source serving files by the text of their file-path nodes.
class NetworkSource {
 public:
  NetworkSource();
  NetworkSource(const NetworkSource&) = delete;
  NetworkSource& operator=(const NetworkSource&) = delete;
  EFI_LOAD_FILE_PROTOCOL* Protocol() { return &self_.protocol; }
  void AddFile(const std::string& path, const std::vector<uint8_t>& bytes) { files_[path] = bytes; }
  // The paths asked for, once per file (size queries and reads of one file count once).
  const std::vector<std::string>& Requested() const { return requested_; }

 private:
  struct Self {
    EFI_LOAD_FILE_PROTOCOL protocol;
    NetworkSource* owner;
  };
  static EFI_STATUS EFIAPI Serve(EFI_LOAD_FILE_PROTOCOL* self, EFI_DEVICE_PATH_PROTOCOL* path, BOOLEAN boot_policy,
                                 UINTN* size, VOID* buffer);
  Self self_{};
  std::map<std::string, std::vector<uint8_t>> files_;
  std::vector<std::string> requested_;
};

// The file-path text of a device path ("" when it has no file-path node).
std::string FilePathText(const EFI_DEVICE_PATH_PROTOCOL* path);
std::string Narrow(const CHAR16* text);

}  // namespace kc_test
