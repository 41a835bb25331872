// A synthetic hand-off: the memory a kernel finds when the loader enters it, laid out from
// the kernel's physical load address on: the kernel image, the boot-arguments block, the
// flattened device tree, the runtime area (holding the system table), the memory map, and
// past the kernel region a page of performance record. The block and the tree are built
// with the loader's own code (handoff/boot_args.h, handoff/device_tree.h and the publishers).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "efi/boot_services.h"
#include "handoff/boot_args.h"
#include "probe/probe_checks.h"

namespace probe_test {

constexpr uint32_t kUnslidPhysical = 0x2000000;
constexpr uint32_t kDescriptorSize = 48;  // wider than the structure, as firmware often is
constexpr uint32_t kRuntimePages = 8;
constexpr uint32_t kExpectedAdler = 0x1234ABCD;
constexpr char kBootUuid[] = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";

struct HandoffOptions {
  uint32_t slide = 0;
  std::string command_line =
      "-v probe-expect-adler=0x1234abcd probe-expect-boot-uuid=0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
  bool csr_active_config = false;
  uint32_t csr_value = 0;
  bool performance_record = false;
  bool publish_boot_uuid = true;
  // Runs after "/" and "/chosen" exist and before the standard properties are added: a
  // property added here wins over the standard one of the same name.
  std::function<void()> before_properties;
  // Properties (path, name) renamed away in the flattened tree, as if never published.
  std::vector<std::pair<std::string, std::string>> hidden;
  std::function<void(BootArgs&)> edit_block;
  std::function<void(std::vector<EFI_MEMORY_DESCRIPTOR>&)> edit_map;
  // Last word: any byte of the machine, with the block's address.
  std::function<void(std::vector<uint8_t>&, uint32_t base, uint32_t block)> edit_memory;
};

struct HandoffMachine {
  uint32_t base = 0;            // physical address of bytes[0]: the kernel's header
  std::vector<uint8_t> bytes;
  uint32_t block = 0;           // physical address of the boot-arguments block
  uint32_t image_size = 0;      // the kernel image at the start
};

// Needs a TestFirmware in scope (the tree is built in its pool). image: the loaded kernel
// (its first byte the Mach-O header); empty for a stand-in of kImageSize zero bytes.
constexpr uint32_t kStandInImageSize = 0x4000;
HandoffMachine BuildHandoffMachine(const std::vector<uint8_t>& image, uint32_t base, const HandoffOptions& options);

// The probe's view of itself in such a machine (host runs: a stand-in image).
probe_context ContextFor(const HandoffMachine& machine, uint32_t slide);

// The processor as the call gate leaves it.
probe_processor GateProcessor();

}  // namespace probe_test
