// An in-memory volume for host tests: EFI_SIMPLE_FILE_SYSTEM_PROTOCOL and EFI_FILE_PROTOCOL
// over a tree of files and directories, installed with a device path on a new handle of
// the current TestFirmware.
//
//   TestFirmware fw;
//   MemoryFileSystem fs;
//   fs.AddFile("\\EFI\\BOOT\\hearth.cfg", "log=4");
//   fs.Install(DevicePathBuilder().Pci(0x1F, 2).Sata(0).HardDrive(1).Build(), {kPartitionTypeGuid});
//   ... code under test opens, reads, writes ...
//   EXPECT_EQ(fs.FileText("\\BOOTER.LOG"), "...");
//
// Behaviour follows the UEFI file protocol as FAT drivers implement it:
// - names compare without regard to ASCII case; "\" separates, a leading "\" starts at the
//   root, "." and ".." work, a relative name starts at the handle's directory (or the
//   directory holding the handle's file);
// - Open takes READ, READ|WRITE or CREATE|READ|WRITE; CREATE makes a file, or a directory
//   when Attributes has EFI_FILE_DIRECTORY; missing parents give EFI_NOT_FOUND;
// - Read of a file stops at its end (a position past the end is EFI_DEVICE_ERROR); Read of
//   a directory returns one EFI_FILE_INFO per call and size 0 at the end;
// - Write extends the file (a gap is zero-filled) and needs a handle opened for writing;
// - SetPosition with all ones goes to the end; directories accept only position 0;
// - GetInfo knows EFI_FILE_INFO and EFI_FILE_SYSTEM_INFO; SetInfo with EFI_FILE_INFO renames
//   (a name with "\" moves within the volume), resizes and sets attributes; an existing
//   target name is EFI_ACCESS_DENIED;
// - Delete always closes the handle; an undeletable file (SetUndeletable), a non-empty
//   directory or the root answer EFI_WARN_DELETE_FAILURE and stay;
// - a read-only volume answers EFI_WRITE_PROTECTED to every change.
// Faults: FailNth(op, n) makes the nth call of op from now (1 = the next) fail.
// Destroying the object uninstalls its protocols when its firmware is still the current
// one; otherwise keep it alive as long as the firmware may call it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "efi/efi.h"
#include "efi/protocols/device_path.h"
#include "efi/protocols/simple_file_system.h"

// Builds device paths node by node; Build() appends the end node.
class DevicePathBuilder {
 public:
  DevicePathBuilder& Node(uint8_t type, uint8_t subtype, const std::vector<uint8_t>& payload = {});
  DevicePathBuilder& Acpi(uint32_t hid = 0x0A0341D0, uint32_t uid = 0);  // PNP0A03, the PCI root
  DevicePathBuilder& Pci(uint8_t device, uint8_t function);
  DevicePathBuilder& HardwareVendor(const EFI_GUID& guid);
  DevicePathBuilder& Atapi(uint8_t primary = 0, uint8_t slave = 0, uint16_t lun = 0);
  DevicePathBuilder& Sata(uint16_t port, uint16_t multiplier = 0xFFFF, uint16_t lun = 0);
  DevicePathBuilder& Nvme(uint32_t namespace_id = 1);
  DevicePathBuilder& Usb(uint8_t parent_port, uint8_t interface = 0);
  DevicePathBuilder& MessagingVendor(const EFI_GUID& guid);
  DevicePathBuilder& HardDrive(uint32_t partition);
  DevicePathBuilder& FilePath(const std::u16string& path);
  std::vector<uint8_t> Build() const;

 private:
  std::vector<uint8_t> bytes_;
};

class MemoryFileSystem {
 public:
  enum class Op { kOpen, kClose, kDelete, kRead, kWrite, kGetPosition, kSetPosition, kGetInfo, kSetInfo, kFlush };

  // The partition-type GUID of an EFI system partition, which firmware installs as a
  // protocol on such partitions (pass it to Install).
  static constexpr EFI_GUID kEspTypeGuid = {0xC12A7328, 0xF81F, 0x11D2, {0xBA, 0x4B, 0x00, 0xA0, 0xC9, 0x3E, 0xC9, 0x3B}};

  MemoryFileSystem();
  ~MemoryFileSystem();
  MemoryFileSystem(const MemoryFileSystem&) = delete;
  MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

  // --- Contents (paths as in the firmware: "\\DIR\\NAME") -------------------------------
  // Creates or replaces a file, making missing parent directories.
  void AddFile(const std::string& path, const std::vector<uint8_t>& data);
  void AddFile(const std::string& path, const std::string& text);
  void AddDirectory(const std::string& path);
  bool Exists(const std::string& path) const;
  bool IsDirectory(const std::string& path) const;
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path) const;
  // The file's bytes as text; empty when there is no such file.
  std::string FileText(const std::string& path) const;
  // Names in a directory, in creation order.
  std::vector<std::string> List(const std::string& directory = "\\") const;
  // Delete of this file or directory answers EFI_WARN_DELETE_FAILURE.
  void SetUndeletable(const std::string& path, bool undeletable = true);
  void SetReadOnly(bool read_only) { read_only_ = read_only; }
  void SetVolumeLabel(const std::u16string& label) { label_ = label; }

  // --- Faults and counters -------------------------------------------------------------
  void FailNth(Op op, int n, EFI_STATUS status = EFI_DEVICE_ERROR);
  void FailNthRead(int n, EFI_STATUS status = EFI_DEVICE_ERROR) { FailNth(Op::kRead, n, status); }
  void FailNthWrite(int n, EFI_STATUS status = EFI_DEVICE_ERROR) { FailNth(Op::kWrite, n, status); }
  int Calls(Op op) const;
  // File handles not yet closed (the volume's root handles included).
  size_t OpenHandles() const { return open_.size(); }

  // --- Firmware side -------------------------------------------------------------------
  // Installs the device path, then each extra protocol GUID (a tag with a null interface),
  // then the file system protocol last, so that file-system notifications see a complete
  // handle. Returns the new handle.
  EFI_HANDLE Install(const std::vector<uint8_t>& device_path, const std::vector<EFI_GUID>& extra_protocols = {});
  EFI_HANDLE Handle() const { return handle_; }
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* Protocol() { return &protocol_; }

  struct Node;
  struct OpenFile;

 private:
  friend struct MemoryFileSystemOps;
  std::shared_ptr<Node> Find(const std::string& path) const;
  std::shared_ptr<Node> MakePath(const std::string& path, bool directory);
  bool ShouldFail(Op op, EFI_STATUS* status);
  EFI_FILE_PROTOCOL* NewHandle(std::shared_ptr<Node> node, uint64_t mode);

  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL protocol_{};  // first member: the protocol pointer is the object
  std::shared_ptr<Node> root_;
  bool read_only_ = false;
  std::u16string label_ = u"EFI";
  std::vector<uint8_t> device_path_;
  EFI_HANDLE handle_ = nullptr;
  EFI_SYSTEM_TABLE* installed_on_ = nullptr;
  std::vector<EFI_GUID> installed_;
  std::map<EFI_FILE_PROTOCOL*, std::unique_ptr<OpenFile>> open_;
  struct Fault {
    int countdown = 0;
    EFI_STATUS status = EFI_DEVICE_ERROR;
    int calls = 0;
  };
  std::map<Op, Fault> faults_;
};
