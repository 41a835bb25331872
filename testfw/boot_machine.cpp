#include "testfw/boot_machine.h"

#include <cstdlib>
#include <string>

#include "tools/lib/macho_writer.h"

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table);

BootMachine::BootMachine(TestFirmware& firmware, const std::string& load_options)
    : fw(firmware), load_options_(load_options.begin(), load_options.end()) {
  esp.Install(DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(1).Build(), {MemoryFileSystem::kEspTypeGuid});
  boot.Install(DevicePathBuilder().Acpi().Pci(0x1F, 2).Sata(0).HardDrive(2).Build());
  boot.AddFile("\\System\\Library\\CoreServices\\hearth.efi", std::string("MZ"));
  file_path_ = DevicePathBuilder().FilePath(u"\\System\\Library\\CoreServices\\hearth.efi").Build();
  loaded_image_.Revision = 0x1000;
  loaded_image_.SystemTable = fw.SystemTable();
  loaded_image_.DeviceHandle = boot.Handle();
  loaded_image_.FilePath = reinterpret_cast<EFI_DEVICE_PATH_PROTOCOL*>(file_path_.data());
  if (!load_options_.empty()) {
    loaded_image_.LoadOptions = load_options_.data();
    loaded_image_.LoadOptionsSize = static_cast<UINT32>((load_options_.size() + 1) * sizeof(char16_t));
  }
  loaded_image_.ImageCodeType = EfiLoaderCode;
  loaded_image_.ImageDataType = EfiLoaderData;
  fw.InstallProtocol(fw.ImageHandle(), kEfiLoadedImageProtocolGuid, &loaded_image_);
}

TestFirmware::RunResult BootMachine::Boot() {
  return fw.Run([&] { return efi_main(fw.ImageHandle(), fw.SystemTable()); });
}

void BootMachine::AddSmallKernel() {
  constexpr uint64_t kBase = 0xFFFFFF8002000000ull;
  macho::Image image;
  macho::Segment text;
  text.name = "__TEXT";
  text.address = kBase;
  text.contents.assign(0x1000, 0xF4);  // hlt
  image.segments.push_back(text);
  macho::Segment data;
  data.name = "__DATA";
  data.address = kBase + 0x2000;
  data.contents.assign(0x1000, 0);
  data.init_protection = 3;
  image.segments.push_back(data);
  image.entry = kBase + 0x1000;
  std::vector<uint8_t> kernel;
  std::string error;
  if (!macho::WriteImage(image, &kernel, &error)) std::abort();
  boot.AddFile("\\System\\Library\\PrelinkedKernels\\prelinkedkernel", kernel);
}
