// A prepared machine for tests of the whole boot sequence: an EFI system partition on a SATA
// disk, a boot partition holding hearth (and whatever a test adds: kernel caches, property
// lists), and hearth's loaded image pointing at its file on the boot partition.
//
//   TestFirmware fw;
//   BootMachine machine(fw);
//   machine.boot.AddFile("\\System\\Library\\Kernels\\kernel", kernel);
//   auto result = machine.Boot();
#pragma once

#include <string>
#include <vector>

#include "efi/protocols/loaded_image.h"
#include "testfw/memory_file_system.h"
#include "testfw/test_firmware.h"

class BootMachine {
 public:
  explicit BootMachine(TestFirmware& fw, const std::string& load_options = "");

  // Puts a small kernel (one page of code at 0xFFFFFF8002000000, a data page, an entry
  // point) where hearth looks for the kernel cache.
  void AddSmallKernel();

  // Runs hearth's entry point on this machine.
  TestFirmware::RunResult Boot();

  TestFirmware& fw;
  MemoryFileSystem esp;
  MemoryFileSystem boot;

 private:
  std::vector<uint8_t> file_path_;
  std::u16string load_options_;
  EFI_LOADED_IMAGE_PROTOCOL loaded_image_{};
};
