#include "testfw/memory_file_system.h"

#include <algorithm>
#include <cstring>

#include "efi/efi.h"
#include "testfw/test_firmware.h"

// --- Device paths ---------------------------------------------------------------------------

namespace {
void Put16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(uint8_t(x));
  v.push_back(uint8_t(x >> 8));
}
void Put32(std::vector<uint8_t>& v, uint32_t x) {
  Put16(v, uint16_t(x));
  Put16(v, uint16_t(x >> 16));
}
std::vector<uint8_t> GuidBytes(const EFI_GUID& g) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(&g);
  return std::vector<uint8_t>(p, p + sizeof(g));
}
}  // namespace

DevicePathBuilder& DevicePathBuilder::Node(uint8_t type, uint8_t subtype, const std::vector<uint8_t>& payload) {
  bytes_.push_back(type);
  bytes_.push_back(subtype);
  Put16(bytes_, uint16_t(4 + payload.size()));
  bytes_.insert(bytes_.end(), payload.begin(), payload.end());
  return *this;
}

DevicePathBuilder& DevicePathBuilder::Acpi(uint32_t hid, uint32_t uid) {
  std::vector<uint8_t> p;
  Put32(p, hid);
  Put32(p, uid);
  return Node(ACPI_DEVICE_PATH, ACPI_DP, p);
}

DevicePathBuilder& DevicePathBuilder::Pci(uint8_t device, uint8_t function) {
  return Node(HARDWARE_DEVICE_PATH, HW_PCI_DP, {function, device});
}

DevicePathBuilder& DevicePathBuilder::HardwareVendor(const EFI_GUID& guid) {
  return Node(HARDWARE_DEVICE_PATH, HW_VENDOR_DP, GuidBytes(guid));
}

DevicePathBuilder& DevicePathBuilder::Atapi(uint8_t primary, uint8_t slave, uint16_t lun) {
  std::vector<uint8_t> p = {primary, slave};
  Put16(p, lun);
  return Node(MESSAGING_DEVICE_PATH, 1, p);
}

DevicePathBuilder& DevicePathBuilder::Sata(uint16_t port, uint16_t multiplier, uint16_t lun) {
  std::vector<uint8_t> p;
  Put16(p, port);
  Put16(p, multiplier);
  Put16(p, lun);
  return Node(MESSAGING_DEVICE_PATH, MSG_SATA_DP, p);
}

DevicePathBuilder& DevicePathBuilder::Nvme(uint32_t namespace_id) {
  std::vector<uint8_t> p;
  Put32(p, namespace_id);
  p.resize(12, 0);  // 64-bit IEEE EUI
  return Node(MESSAGING_DEVICE_PATH, 23, p);
}

DevicePathBuilder& DevicePathBuilder::Usb(uint8_t parent_port, uint8_t interface) {
  return Node(MESSAGING_DEVICE_PATH, 5, {parent_port, interface});
}

DevicePathBuilder& DevicePathBuilder::MessagingVendor(const EFI_GUID& guid) {
  return Node(MESSAGING_DEVICE_PATH, 10, GuidBytes(guid));
}

DevicePathBuilder& DevicePathBuilder::HardDrive(uint32_t partition) {
  std::vector<uint8_t> p;
  Put32(p, partition);
  p.resize(38, 0);
  p[36] = 2;  // GPT
  p[37] = 2;  // GUID signature
  return Node(MEDIA_DEVICE_PATH, MEDIA_HARDDRIVE_DP, p);
}

DevicePathBuilder& DevicePathBuilder::FilePath(const std::u16string& path) {
  std::vector<uint8_t> p;
  for (char16_t c : path) Put16(p, c);
  Put16(p, 0);
  return Node(MEDIA_DEVICE_PATH, MEDIA_FILEPATH_DP, p);
}

std::vector<uint8_t> DevicePathBuilder::Build() const {
  std::vector<uint8_t> out = bytes_;
  out.insert(out.end(), {END_DEVICE_PATH_TYPE, END_ENTIRE_DEVICE_PATH_SUBTYPE, 4, 0});
  return out;
}

// --- The tree -------------------------------------------------------------------------------

struct MemoryFileSystem::Node {
  std::u16string name;
  bool directory = false;
  uint64_t attributes = 0;
  std::vector<uint8_t> data;
  std::vector<std::shared_ptr<Node>> children;
  Node* parent = nullptr;
  bool undeletable = false;
  bool deleted = false;
};

struct MemoryFileSystem::OpenFile {
  EFI_FILE_PROTOCOL protocol;  // first member: the protocol pointer is the handle
  MemoryFileSystem* fs;
  std::shared_ptr<Node> node;
  uint64_t mode;
  uint64_t position = 0;
  size_t next_entry = 0;  // directory reads
};

namespace {

using Node = MemoryFileSystem::Node;

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool SameName(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(b[i])) return false;
  }
  return true;
}

std::vector<std::u16string> Components(const std::u16string& path) {
  std::vector<std::u16string> out;
  std::u16string part;
  for (char16_t c : path) {
    if (c == u'\\') {
      if (!part.empty()) out.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) out.push_back(part);
  return out;
}

std::shared_ptr<Node> Child(const Node& dir, const std::u16string& name) {
  for (const auto& child : dir.children) {
    if (SameName(child->name, name)) return child;
  }
  return nullptr;
}

std::shared_ptr<Node> Shared(Node* node, const std::shared_ptr<Node>& root) {
  if (!node) return nullptr;
  if (!node->parent) return root;
  for (const auto& child : node->parent->children) {
    if (child.get() == node) return child;
  }
  return nullptr;
}

// Walks components from start; "." stays, ".." goes up (never above the root).
// Returns the parent of the last component and the last component's name, or false when
// an intermediate directory is missing.
bool ResolveParent(std::shared_ptr<Node> start, const std::shared_ptr<Node>& root, const std::u16string& path,
                   std::shared_ptr<Node>* parent, std::u16string* last) {
  std::vector<std::u16string> parts = Components(path);
  std::shared_ptr<Node> at = start;
  *last = u".";
  for (size_t i = 0; i < parts.size(); ++i) {
    const bool final_part = i + 1 == parts.size();
    if (final_part) {
      *last = parts[i];
      break;
    }
    if (parts[i] == u".") continue;
    if (parts[i] == u"..") {
      if (at->parent) at = Shared(at->parent, root);
      continue;
    }
    at = Child(*at, parts[i]);
    if (!at || !at->directory) return false;
  }
  *parent = at;
  return true;
}

std::shared_ptr<Node> Lookup(const std::shared_ptr<Node>& parent, const std::shared_ptr<Node>& root,
                             const std::u16string& name) {
  if (name == u".") return parent;
  if (name == u"..") return parent->parent ? Shared(parent->parent, root) : parent;
  return Child(*parent, name);
}

std::vector<uint8_t> FileInfoBytes(const Node& node) {
  std::vector<uint8_t> out(kEfiFileInfoHeaderSize + 2 * (node.name.size() + 1), 0);
  EFI_FILE_INFO info{};
  info.Size = out.size();
  info.FileSize = node.directory ? 0 : node.data.size();
  info.PhysicalSize = (info.FileSize + 511) / 512 * 512;
  info.Attribute = node.attributes | (node.directory ? EFI_FILE_DIRECTORY : 0);
  std::memcpy(out.data(), &info, kEfiFileInfoHeaderSize);
  std::memcpy(out.data() + kEfiFileInfoHeaderSize, node.name.c_str(), 2 * (node.name.size() + 1));
  return out;
}

bool ContainsNode(const Node* dir, const Node* node) {
  for (const Node* at = dir; at; at = at->parent) {
    if (at == node) return true;
  }
  return false;
}

}  // namespace

// The protocol entry points.
struct MemoryFileSystemOps {
  using OpenFile = MemoryFileSystem::OpenFile;

  static OpenFile* Of(EFI_FILE_PROTOCOL* self) { return reinterpret_cast<OpenFile*>(self); }
  static bool Writable(const OpenFile* f) { return (f->mode & EFI_FILE_MODE_WRITE) != 0; }

  static EFI_STATUS EFIAPI OpenVolume(EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* self, EFI_FILE_PROTOCOL** root) {
    auto* fs = reinterpret_cast<MemoryFileSystem*>(self);
    if (!root) return EFI_INVALID_PARAMETER;
    *root = fs->NewHandle(fs->root_, EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Open(EFI_FILE_PROTOCOL* self, EFI_FILE_PROTOCOL** out, const CHAR16* name, UINT64 mode,
                                UINT64 attributes) {
    OpenFile* f = Of(self);
    MemoryFileSystem* fs = f->fs;
    EFI_STATUS status = EFI_SUCCESS;
    if (fs->ShouldFail(MemoryFileSystem::Op::kOpen, &status)) return status;
    if (!out || !name) return EFI_INVALID_PARAMETER;
    constexpr UINT64 kRead = EFI_FILE_MODE_READ;
    constexpr UINT64 kReadWrite = EFI_FILE_MODE_READ | EFI_FILE_MODE_WRITE;
    if (mode != kRead && mode != kReadWrite && mode != (EFI_FILE_MODE_CREATE | kReadWrite)) {
      return EFI_INVALID_PARAMETER;
    }
    if ((mode & EFI_FILE_MODE_WRITE) && fs->read_only_) return EFI_WRITE_PROTECTED;
    if (f->node->deleted) return EFI_DEVICE_ERROR;
    std::u16string path(name);
    std::shared_ptr<Node> start = f->node->directory ? f->node : Shared(f->node->parent, fs->root_);
    if (!path.empty() && path[0] == u'\\') start = fs->root_;
    std::shared_ptr<Node> parent;
    std::u16string last;
    if (!ResolveParent(start, fs->root_, path, &parent, &last)) return EFI_NOT_FOUND;
    std::shared_ptr<Node> node = Lookup(parent, fs->root_, last);
    if (!node) {
      if (!(mode & EFI_FILE_MODE_CREATE)) return EFI_NOT_FOUND;
      node = std::make_shared<Node>();
      node->name = last;
      node->directory = (attributes & EFI_FILE_DIRECTORY) != 0;
      node->attributes = attributes & ~EFI_FILE_DIRECTORY;
      node->parent = parent.get();
      parent->children.push_back(node);
    } else if ((mode & EFI_FILE_MODE_WRITE) && (node->attributes & EFI_FILE_READ_ONLY)) {
      return EFI_ACCESS_DENIED;
    }
    *out = fs->NewHandle(node, mode & ~EFI_FILE_MODE_CREATE);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Close(EFI_FILE_PROTOCOL* self) {
    MemoryFileSystem* fs = Of(self)->fs;
    EFI_STATUS status = EFI_SUCCESS;
    fs->ShouldFail(MemoryFileSystem::Op::kClose, &status);  // counted; a close always closes
    fs->open_.erase(self);
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Delete(EFI_FILE_PROTOCOL* self) {
    OpenFile* f = Of(self);
    MemoryFileSystem* fs = f->fs;
    std::shared_ptr<Node> node = f->node;
    fs->open_.erase(self);  // Delete closes the handle whatever happens
    EFI_STATUS status = EFI_SUCCESS;
    if (fs->ShouldFail(MemoryFileSystem::Op::kDelete, &status)) return status;
    if (fs->read_only_ || node->undeletable || !node->parent || !node->children.empty() || node->deleted) {
      return EFI_WARN_DELETE_FAILURE;
    }
    auto& siblings = node->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
    node->deleted = true;
    node->parent = nullptr;
    return EFI_SUCCESS;
  }

  static EFI_STATUS ReadDirectory(OpenFile* f, UINTN* size, VOID* buffer) {
    const auto& children = f->node->children;
    if (f->next_entry >= children.size()) {
      *size = 0;
      return EFI_SUCCESS;
    }
    std::vector<uint8_t> info = FileInfoBytes(*children[f->next_entry]);
    if (*size < info.size()) {
      *size = info.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    if (!buffer) return EFI_INVALID_PARAMETER;
    std::memcpy(buffer, info.data(), info.size());
    *size = info.size();
    ++f->next_entry;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Read(EFI_FILE_PROTOCOL* self, UINTN* size, VOID* buffer) {
    OpenFile* f = Of(self);
    EFI_STATUS status = EFI_SUCCESS;
    if (!size) return EFI_INVALID_PARAMETER;
    if (f->fs->ShouldFail(MemoryFileSystem::Op::kRead, &status)) {
      *size = 0;
      return status;
    }
    if (f->node->deleted) return EFI_DEVICE_ERROR;
    if (f->node->directory) return ReadDirectory(f, size, buffer);
    const auto& data = f->node->data;
    if (f->position > data.size()) return EFI_DEVICE_ERROR;
    UINTN n = std::min<UINT64>(*size, data.size() - f->position);
    if (n && !buffer) return EFI_INVALID_PARAMETER;
    if (n) std::memcpy(buffer, data.data() + f->position, n);
    f->position += n;
    *size = n;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI Write(EFI_FILE_PROTOCOL* self, UINTN* size, const VOID* buffer) {
    OpenFile* f = Of(self);
    EFI_STATUS status = EFI_SUCCESS;
    if (!size) return EFI_INVALID_PARAMETER;
    if (f->fs->ShouldFail(MemoryFileSystem::Op::kWrite, &status)) {
      *size = 0;
      return status;
    }
    if (f->node->deleted) return EFI_DEVICE_ERROR;
    if (f->node->directory) return EFI_UNSUPPORTED;
    if (f->fs->read_only_) return EFI_WRITE_PROTECTED;
    if (!Writable(f)) return EFI_ACCESS_DENIED;
    if (*size && !buffer) return EFI_INVALID_PARAMETER;
    auto& data = f->node->data;
    if (data.size() < f->position + *size) data.resize(f->position + *size, 0);
    if (*size) std::memcpy(data.data() + f->position, buffer, *size);
    f->position += *size;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI GetPosition(EFI_FILE_PROTOCOL* self, UINT64* position) {
    OpenFile* f = Of(self);
    EFI_STATUS status = EFI_SUCCESS;
    if (f->fs->ShouldFail(MemoryFileSystem::Op::kGetPosition, &status)) return status;
    if (!position) return EFI_INVALID_PARAMETER;
    if (f->node->directory) return EFI_UNSUPPORTED;
    *position = f->position;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetPosition(EFI_FILE_PROTOCOL* self, UINT64 position) {
    OpenFile* f = Of(self);
    EFI_STATUS status = EFI_SUCCESS;
    if (f->fs->ShouldFail(MemoryFileSystem::Op::kSetPosition, &status)) return status;
    if (f->node->directory) {
      if (position != 0) return EFI_UNSUPPORTED;
      f->next_entry = 0;
      return EFI_SUCCESS;
    }
    f->position = position == ~0ull ? f->node->data.size() : position;
    return EFI_SUCCESS;
  }

  static EFI_STATUS CopyOut(const std::vector<uint8_t>& info, UINTN* size, VOID* buffer) {
    if (*size < info.size()) {
      *size = info.size();
      return EFI_BUFFER_TOO_SMALL;
    }
    if (!buffer) return EFI_INVALID_PARAMETER;
    std::memcpy(buffer, info.data(), info.size());
    *size = info.size();
    return EFI_SUCCESS;
  }

  static std::vector<uint8_t> FileSystemInfoBytes(const MemoryFileSystem& fs) {
    const size_t header = offsetof(EFI_FILE_SYSTEM_INFO, VolumeLabel);
    std::vector<uint8_t> out(header + 2 * (fs.label_.size() + 1), 0);
    EFI_FILE_SYSTEM_INFO info{};
    info.Size = out.size();
    info.ReadOnly = fs.read_only_;
    info.VolumeSize = 64ull << 20;
    info.FreeSpace = 32ull << 20;
    info.BlockSize = 512;
    std::memcpy(out.data(), &info, header);
    std::memcpy(out.data() + header, fs.label_.c_str(), 2 * (fs.label_.size() + 1));
    return out;
  }

  static EFI_STATUS EFIAPI GetInfo(EFI_FILE_PROTOCOL* self, const EFI_GUID* type, UINTN* size, VOID* buffer) {
    OpenFile* f = Of(self);
    EFI_STATUS status = EFI_SUCCESS;
    if (f->fs->ShouldFail(MemoryFileSystem::Op::kGetInfo, &status)) return status;
    if (!type || !size) return EFI_INVALID_PARAMETER;
    if (GuidEqual(*type, kEfiFileInfoGuid)) return CopyOut(FileInfoBytes(*f->node), size, buffer);
    if (GuidEqual(*type, kEfiFileSystemInfoGuid)) return CopyOut(FileSystemInfoBytes(*f->fs), size, buffer);
    return EFI_UNSUPPORTED;
  }

  // Renames or moves node to name (relative to its directory, or from the root with "\").
  static EFI_STATUS Rename(MemoryFileSystem* fs, const std::shared_ptr<Node>& node, const std::u16string& name) {
    std::shared_ptr<Node> start = name[0] == u'\\' ? fs->root_ : Shared(node->parent, fs->root_);
    std::shared_ptr<Node> parent;
    std::u16string last;
    if (!ResolveParent(start, fs->root_, name, &parent, &last) || last == u"." || last == u"..") {
      return EFI_NOT_FOUND;
    }
    if (parent.get() == node->parent && SameName(last, node->name)) {
      node->name = last;  // the same name, perhaps in another case
      return EFI_SUCCESS;
    }
    if (Child(*parent, last)) return EFI_ACCESS_DENIED;
    if (node->directory && ContainsNode(parent.get(), node.get())) return EFI_ACCESS_DENIED;
    auto& siblings = node->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), node), siblings.end());
    node->name = last;
    node->parent = parent.get();
    parent->children.push_back(node);
    return EFI_SUCCESS;
  }

  static EFI_STATUS SetFileInfo(OpenFile* f, UINTN size, const uint8_t* buffer) {
    if (size < kEfiFileInfoHeaderSize + 2) return EFI_BAD_BUFFER_SIZE;
    EFI_FILE_INFO info;
    std::memcpy(&info, buffer, kEfiFileInfoHeaderSize);
    if (info.Size < kEfiFileInfoHeaderSize + 2 || info.Size > size) return EFI_BAD_BUFFER_SIZE;
    std::u16string name;
    for (size_t off = kEfiFileInfoHeaderSize; off + 1 < info.Size; off += 2) {
      char16_t c = char16_t(buffer[off] | (buffer[off + 1] << 8));
      if (c == 0) break;
      name.push_back(c);
    }
    const std::shared_ptr<Node>& node = f->node;
    if (!node->parent) return EFI_ACCESS_DENIED;  // the root keeps its name
    if (((info.Attribute & EFI_FILE_DIRECTORY) != 0) != node->directory) return EFI_ACCESS_DENIED;
    if (name.empty()) return EFI_INVALID_PARAMETER;
    EFI_STATUS status = Rename(f->fs, node, name);
    if (EFI_ERROR(status)) return status;
    if (!node->directory) node->data.resize(info.FileSize, 0);
    node->attributes = info.Attribute & ~EFI_FILE_DIRECTORY;
    return EFI_SUCCESS;
  }

  static EFI_STATUS EFIAPI SetInfo(EFI_FILE_PROTOCOL* self, const EFI_GUID* type, UINTN size, VOID* buffer) {
    OpenFile* f = Of(self);
    EFI_STATUS status = EFI_SUCCESS;
    if (f->fs->ShouldFail(MemoryFileSystem::Op::kSetInfo, &status)) return status;
    if (!type || !buffer) return EFI_INVALID_PARAMETER;
    if (f->node->deleted) return EFI_DEVICE_ERROR;
    if (f->fs->read_only_) return EFI_WRITE_PROTECTED;
    if (!GuidEqual(*type, kEfiFileInfoGuid)) return EFI_UNSUPPORTED;
    if (!Writable(f)) return EFI_ACCESS_DENIED;
    return SetFileInfo(f, size, static_cast<const uint8_t*>(buffer));
  }

  static EFI_STATUS EFIAPI Flush(EFI_FILE_PROTOCOL* self) {
    OpenFile* f = Of(self);
    EFI_STATUS status = EFI_SUCCESS;
    if (f->fs->ShouldFail(MemoryFileSystem::Op::kFlush, &status)) return status;
    if (f->node->deleted) return EFI_DEVICE_ERROR;
    if (f->fs->read_only_) return EFI_WRITE_PROTECTED;
    if (!Writable(f)) return EFI_ACCESS_DENIED;
    return EFI_SUCCESS;
  }
};

// --- The volume -------------------------------------------------------------------------------

MemoryFileSystem::MemoryFileSystem() : root_(std::make_shared<Node>()) {
  root_->directory = true;
  protocol_.Revision = 0x00010000;
  protocol_.OpenVolume = MemoryFileSystemOps::OpenVolume;
}

MemoryFileSystem::~MemoryFileSystem() {
  // Leave no dangling interfaces behind while the firmware that holds them still runs.
  if (!handle_ || !installed_on_ || gST != installed_on_) return;
  TestFirmware& fw = TestFirmware::Current();
  for (const EFI_GUID& guid : installed_) fw.UninstallProtocol(handle_, guid);
}

EFI_FILE_PROTOCOL* MemoryFileSystem::NewHandle(std::shared_ptr<Node> node, uint64_t mode) {
  auto f = std::make_unique<OpenFile>();
  f->protocol.Revision = 0x00010000;
  f->protocol.Open = MemoryFileSystemOps::Open;
  f->protocol.Close = MemoryFileSystemOps::Close;
  f->protocol.Delete = MemoryFileSystemOps::Delete;
  f->protocol.Read = MemoryFileSystemOps::Read;
  f->protocol.Write = MemoryFileSystemOps::Write;
  f->protocol.GetPosition = MemoryFileSystemOps::GetPosition;
  f->protocol.SetPosition = MemoryFileSystemOps::SetPosition;
  f->protocol.GetInfo = MemoryFileSystemOps::GetInfo;
  f->protocol.SetInfo = MemoryFileSystemOps::SetInfo;
  f->protocol.Flush = MemoryFileSystemOps::Flush;
  f->fs = this;
  f->node = std::move(node);
  f->mode = mode;
  EFI_FILE_PROTOCOL* handle = &f->protocol;
  open_[handle] = std::move(f);
  return handle;
}

bool MemoryFileSystem::ShouldFail(Op op, EFI_STATUS* status) {
  Fault& fault = faults_[op];
  ++fault.calls;
  if (fault.countdown > 0 && --fault.countdown == 0) {
    *status = fault.status;
    return true;
  }
  return false;
}

void MemoryFileSystem::FailNth(Op op, int n, EFI_STATUS status) {
  faults_[op].countdown = n;
  faults_[op].status = status;
}

int MemoryFileSystem::Calls(Op op) const {
  auto it = faults_.find(op);
  return it == faults_.end() ? 0 : it->second.calls;
}

std::shared_ptr<Node> MemoryFileSystem::Find(const std::string& path) const {
  std::shared_ptr<Node> at = root_;
  for (const std::u16string& part : Components(ToUtf16(path))) {
    at = at->directory ? Lookup(at, root_, part) : nullptr;
    if (!at) return nullptr;
  }
  return at;
}

std::shared_ptr<Node> MemoryFileSystem::MakePath(const std::string& path, bool directory) {
  std::vector<std::u16string> parts = Components(ToUtf16(path));
  std::shared_ptr<Node> at = root_;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::shared_ptr<Node> next = Child(*at, parts[i]);
    if (!next) {
      next = std::make_shared<Node>();
      next->name = parts[i];
      next->directory = directory || i + 1 < parts.size();
      next->parent = at.get();
      at->children.push_back(next);
    }
    at = next;
  }
  return at;
}

void MemoryFileSystem::AddFile(const std::string& path, const std::vector<uint8_t>& data) {
  MakePath(path, false)->data = data;
}

void MemoryFileSystem::AddFile(const std::string& path, const std::string& text) {
  AddFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

void MemoryFileSystem::AddDirectory(const std::string& path) { MakePath(path, true); }

bool MemoryFileSystem::Exists(const std::string& path) const { return Find(path) != nullptr; }

bool MemoryFileSystem::IsDirectory(const std::string& path) const {
  std::shared_ptr<Node> node = Find(path);
  return node && node->directory;
}

std::optional<std::vector<uint8_t>> MemoryFileSystem::ReadFile(const std::string& path) const {
  std::shared_ptr<Node> node = Find(path);
  if (!node || node->directory) return std::nullopt;
  return node->data;
}

std::string MemoryFileSystem::FileText(const std::string& path) const {
  auto data = ReadFile(path);
  return data ? std::string(data->begin(), data->end()) : std::string();
}

std::vector<std::string> MemoryFileSystem::List(const std::string& directory) const {
  std::vector<std::string> out;
  std::shared_ptr<Node> node = Find(directory);
  if (!node || !node->directory) return out;
  for (const auto& child : node->children) out.push_back(ToAscii(child->name));
  return out;
}

void MemoryFileSystem::SetUndeletable(const std::string& path, bool undeletable) {
  if (std::shared_ptr<Node> node = Find(path)) node->undeletable = undeletable;
}

EFI_HANDLE MemoryFileSystem::Install(const std::vector<uint8_t>& device_path, const std::vector<EFI_GUID>& extra) {
  TestFirmware& fw = TestFirmware::Current();
  device_path_ = device_path;
  handle_ = fw.NewHandle();
  installed_on_ = fw.SystemTable();
  if (!device_path_.empty()) {
    fw.InstallProtocol(handle_, kEfiDevicePathProtocolGuid, device_path_.data());
    installed_.push_back(kEfiDevicePathProtocolGuid);
  }
  for (const EFI_GUID& guid : extra) {
    fw.InstallProtocol(handle_, guid, nullptr);  // tags, as firmware installs them: no interface
    installed_.push_back(guid);
  }
  fw.InstallProtocol(handle_, kEfiSimpleFileSystemProtocolGuid, &protocol_);
  installed_.push_back(kEfiSimpleFileSystemProtocolGuid);
  return handle_;
}
