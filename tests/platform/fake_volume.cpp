#include "tests/platform/fake_volume.h"

#include <cstring>

struct FakeVolume::File {
  EFI_FILE_PROTOCOL protocol;
  FakeVolume* volume;
  std::u16string path;  // empty for the root
  size_t position = 0;
  bool open = true;
};

FakeVolume::FakeVolume(TestFirmware& fw, uint8_t tag) {
  fs_.fs.Revision = 0x00010000;
  fs_.fs.OpenVolume = OpenVolume;
  fs_.owner = this;
  // A vendor hardware node carrying the tag, then the end node.
  device_path_ = {HARDWARE_DEVICE_PATH, HW_VENDOR_DP, 21, 0};
  for (int i = 0; i < 16; ++i) device_path_.push_back(static_cast<uint8_t>(0xA0 + i));
  device_path_.push_back(tag);
  device_path_.insert(device_path_.end(), {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0});
  handle_ = fw.InstallProtocol(nullptr, kEfiSimpleFileSystemProtocolGuid, &fs_.fs);
  fw.InstallProtocol(handle_, kEfiDevicePathProtocolGuid, device_path_.data());
}

FakeVolume::~FakeVolume() = default;

FakeVolume::File* FakeVolume::NewFile(const std::u16string& path) {
  auto file = std::make_unique<File>();
  file->protocol.Revision = 0x00010000;
  file->protocol.Open = Open;
  file->protocol.Close = Close;
  file->protocol.Read = Read;
  file->protocol.GetInfo = GetInfo;
  file->volume = this;
  file->path = path;
  ++open_files_;
  file_objects_.push_back(std::move(file));
  return file_objects_.back().get();
}

EFI_STATUS EFIAPI FakeVolume::OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* fs, EFI_FILE_PROTOCOL** root) {
  FakeVolume* volume = reinterpret_cast<FsWithOwner*>(fs)->owner;
  *root = &volume->NewFile(u"")->protocol;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeVolume::Open(EFI_FILE_PROTOCOL* self, EFI_FILE_PROTOCOL** out, const CHAR16* name, UINT64 mode,
                                   UINT64) {
  File* dir = reinterpret_cast<File*>(self);
  if (!dir->path.empty() || mode != EFI_FILE_MODE_READ) return EFI_UNSUPPORTED;
  if (!dir->volume->files_.count(name)) return EFI_NOT_FOUND;
  *out = &dir->volume->NewFile(name)->protocol;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeVolume::Close(EFI_FILE_PROTOCOL* self) {
  File* file = reinterpret_cast<File*>(self);
  if (!file->open) return EFI_INVALID_PARAMETER;
  file->open = false;
  --file->volume->open_files_;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeVolume::Read(EFI_FILE_PROTOCOL* self, UINTN* size, VOID* buffer) {
  File* file = reinterpret_cast<File*>(self);
  const std::vector<uint8_t>& data = file->volume->files_.at(file->path);
  size_t n = std::min<size_t>(*size, data.size() - file->position);
  if (file->volume->read_chunk_) n = std::min(n, file->volume->read_chunk_);
  std::memcpy(buffer, data.data() + file->position, n);
  file->position += n;
  *size = n;
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI FakeVolume::GetInfo(EFI_FILE_PROTOCOL* self, const EFI_GUID* type, UINTN* size, VOID* buffer) {
  File* file = reinterpret_cast<File*>(self);
  if (!GuidEqual(*type, kEfiFileInfoGuid)) return EFI_UNSUPPORTED;
  UINTN needed = kEfiFileInfoHeaderSize + (file->path.size() + 1) * sizeof(CHAR16);
  if (*size < needed) {
    *size = needed;
    return EFI_BUFFER_TOO_SMALL;
  }
  auto* info = static_cast<EFI_FILE_INFO*>(buffer);
  std::memset(info, 0, needed);
  info->Size = needed;
  info->FileSize = file->volume->files_.at(file->path).size();
  std::memcpy(info->FileName, file->path.c_str(), (file->path.size() + 1) * sizeof(CHAR16));
  *size = needed;
  return EFI_SUCCESS;
}
