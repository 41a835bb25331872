// ProcessOptions over outside inputs: the load options (UCS-2 bytes), "boot-args" and the
// boot configuration file. Input: two 16-bit little-endian lengths (options, boot-args),
// those bytes, then the file's text.
#include <stddef.h>
#include <stdint.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "flags/boot_mode.h"
#include "flags/guids.h"
#include "config/boot_options.h"
#include "config/kernel_flags.h"
#include "efi/protocols/loaded_image.h"
#include "lib/string.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

namespace {

struct Machine {
  TestFirmware fw;
  MemoryFileSystem fs;
  EFI_LOADED_IMAGE_PROTOCOL image{};
  std::vector<uint8_t> file_path = DevicePathBuilder().FilePath(u"\\EFI\\BOOT\\hearth.efi").Build();
  EFI_FILE_PROTOCOL* root = nullptr;
  Machine() {
    fs.Install(DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(1).Build());
    image.DeviceHandle = fs.Handle();
    image.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path.data());
    fw.InstallProtocol(fw.ImageHandle(), kEfiLoadedImageProtocolGuid, &image);
    fs.Protocol()->OpenVolume(fs.Protocol(), &root);
    fw.SetVariable(u"csr-active-config", TarnBootGuid, 7, {0x40, 0, 0, 0});
  }
};

size_t TakeLength(const uint8_t** data, size_t* size) {
  if (*size < 2) return 0;
  size_t n = (*data)[0] | ((*data)[1] << 8);
  *data += 2;
  *size -= 2;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Machine* machine = new Machine();
  size_t options_size = TakeLength(&data, &size);
  size_t args_size = TakeLength(&data, &size);
  if (options_size > size) options_size = size;
  if (args_size > size - options_size) args_size = size - options_size;
  std::vector<uint8_t> options(data, data + options_size);
  std::vector<uint8_t> args(data + options_size, data + options_size + args_size);
  std::vector<uint8_t> file(data + options_size + args_size, data + size);

  if (args.empty()) {
    gRT->SetVariable(u"boot-args", &TarnBootGuid, 0, 0, nullptr);
  } else {
    machine->fw.SetVariable(u"boot-args", TarnBootGuid, 7, args);
  }
  machine->fs.AddFile("\\EFI\\BOOT\\com.tarn.Boot.plist", file);
  BootModeFlags = kBootModeSlide;
  const char* line = nullptr;
  if (ProcessOptions(nullptr, machine->root, options.data(), options.size(), &line) != EFI_SUCCESS) std::abort();
  if (AsciiStrLen(line) > options.size() * 3 + args.size() + file.size() + 64) std::abort();
  const char* value = nullptr;
  UINTN length = 0;
  (void)BootOptionLookup("Kernel Cache", &value, &length);
  return 0;
}
