#include "tests/kernel/kernel_cache_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include "flags/booter_config.h"
#include "diag/log.h"
#include "files/boot_file.h"
#include "kernel/prelinked_kernel.h"
#include "lib/mem.h"
#include "tools/lib/macho_writer.h"

namespace kc_test {

std::vector<uint8_t> Kernel(uint32_t tag, uint32_t subtype, size_t code_size) {
  std::vector<uint8_t> code(code_size);
  for (size_t i = 0; i < code.size(); ++i) code[i] = uint8_t(i * 13 + tag);
  macho::FlatKernel flat;
  flat.entry = kCode + tag;
  macho::Image image;
  std::string error;
  EXPECT_TRUE(macho::WrapFlatBinary(code, flat, &image, &error)) << error;
  image.cpu_subtype = subtype;
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(macho::WriteImage(image, &bytes, &error)) << error;
  return bytes;
}

std::vector<uint8_t> Container(const std::vector<uint8_t>& kernel, kernel_cache::Method method, bool slide_support) {
  kernel_cache::BuildOptions options;
  options.method = method;
  options.slide_support = slide_support;
  return kernel_cache::BuildContainer(kernel, options);
}

kernel_cache::RawContainer RawFor(const std::vector<uint8_t>& kernel, kernel_cache::Method method) {
  std::vector<uint8_t> built = Container(kernel, method);
  kernel_cache::RawContainer raw;
  raw.method = method == kernel_cache::Method::kLzvn ? "lzvn" : "lzss";
  raw.adler32 = LoadBe32(built.data() + 8);
  raw.uncompressed_size = LoadBe32(built.data() + 12);
  raw.compressed_size = LoadBe32(built.data() + 16);
  raw.compressed.assign(built.begin() + 384, built.end());
  return raw;
}

EFI_STATUS LoadFromMemory(const std::vector<uint8_t>& file, KernelImageInfo* info) {
  BootFile boot_file;
  BootFileFromMemory(file.data(), file.size(), &boot_file);
  return LoadPrelinkedKernel(&boot_file, info);
}

void CaptureLog() {
  gBooterSettings.level = kLogCategoryError | kLogCategoryStage;
  gBooterSettings.debug = kLogDebugPublishMemoryLog;
  gBooterSettings.log = 0;
  LogStart(gBooterSettings);
}

std::string LogText() {
  const UINT8* data = nullptr;
  UINTN size = 0;
  LogInMemoryContents(&data, &size);
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string plain;
  for (char c : text) {
    if (c != '\r') plain += c;
  }
  return plain;
}

RecordingVolume::RecordingVolume() {
  fs_.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
  EXPECT_EQ(fs_.Protocol()->OpenVolume(fs_.Protocol(), &real_root_), EFI_SUCCESS);
  proxy_.protocol = *real_root_;
  proxy_.protocol.Open = Open;
  proxy_.owner = this;
}

RecordingVolume::~RecordingVolume() {
  if (real_root_) real_root_->Close(real_root_);
}

EFI_FILE_PROTOCOL* RecordingVolume::Root() { return &proxy_.protocol; }

EFI_STATUS EFIAPI RecordingVolume::Open(EFI_FILE_PROTOCOL* self, EFI_FILE_PROTOCOL** handle, const CHAR16* name,
                                        UINT64 mode, UINT64 attributes) {
  RecordingVolume* owner = reinterpret_cast<Proxy*>(self)->owner;
  owner->opened_.push_back(Narrow(name));
  return owner->real_root_->Open(owner->real_root_, handle, name, mode, attributes);
}

NetworkSource::NetworkSource() {
  self_.protocol.LoadFile = Serve;
  self_.owner = this;
}

EFI_STATUS EFIAPI NetworkSource::Serve(EFI_LOAD_FILE_PROTOCOL* self, EFI_DEVICE_PATH_PROTOCOL* path, BOOLEAN,
                                       UINTN* size, VOID* buffer) {
  NetworkSource* owner = reinterpret_cast<Self*>(self)->owner;
  std::string name = FilePathText(path);
  if (owner->requested_.empty() || owner->requested_.back() != name) owner->requested_.push_back(name);
  auto it = owner->files_.find(name);
  if (it == owner->files_.end()) return EFI_NOT_FOUND;
  if (!buffer || *size < it->second.size()) {
    *size = it->second.size();
    return EFI_BUFFER_TOO_SMALL;
  }
  std::memcpy(buffer, it->second.data(), it->second.size());
  *size = it->second.size();
  return EFI_SUCCESS;
}

std::string FilePathText(const EFI_DEVICE_PATH_PROTOCOL* path) {
  std::string text;
  for (const EFI_DEVICE_PATH_PROTOCOL* n = path; !IsDevicePathEnd(n); n = NextDevicePathNode(n)) {
    if (n->Type != MEDIA_DEVICE_PATH || n->SubType != MEDIA_FILEPATH_DP) continue;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(n) + 4;
    for (size_t i = 0; i + 2 <= size_t(DevicePathNodeLength(n)) - 4; i += 2) {
      CHAR16 c = CHAR16(LoadLe16(p + i));
      if (!c) break;
      text += char(c);
    }
  }
  return text;
}

std::string Narrow(const CHAR16* text) {
  std::string out;
  for (; text && *text; ++text) out += char(*text);
  return out;
}

}  // namespace kc_test
