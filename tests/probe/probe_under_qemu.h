// The probe kernel's build outputs, and running the probe under QEMU. QEMU's multiboot
// loader places an image at its physical address and enters it as the boot loader's call
// gate does (protected mode, paging off, flat segments); the probe reports on the serial
// port and leaves through the isa-debug-exit port. Header-only, for the probe tests here
// and the Mach-O loader's probe tests.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace probe_qemu {

// A file the host build leaves in build/host/, beside this test program (a path made from
// __FILE__ would be relative to the build folder when the compiler cache rewrites paths).
inline std::string HostOutput(const char* name) {
  char self[4096] = {};
  ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
  std::string program(self, length > 0 ? size_t(length) : 0);
  return program.substr(0, program.rfind('/') + 1) + name;
}

// The probe kernel; HEARTH_PROBE_KERNEL names another.
inline std::string ProbeKernelPath() {
  if (const char* path = std::getenv("HEARTH_PROBE_KERNEL")) return path;
  return HostOutput("probe-kernel");
}

inline bool ReadFile(const std::string& path, std::vector<uint8_t>* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

inline bool HaveQemu() { return std::system("command -v qemu-system-x86_64 >/dev/null 2>&1") == 0; }

// Where the multiboot header goes: the unused rest of the Mach-O header page.
constexpr size_t kMultibootHeaderAt = 0x800;

// A multiboot header (load address form), so QEMU loads the image at `base` and enters it
// at `entry`.
inline void AddMultibootHeader(std::vector<uint8_t>* image, uint32_t base, uint32_t entry) {
  const size_t at = kMultibootHeaderAt;
  const uint32_t magic = 0x1BADB002, flags = 0x00010000;
  uint32_t fields[] = {magic, flags, uint32_t(0 - magic - flags), uint32_t(base + at), base,
                       uint32_t(base + image->size()), 0, entry};
  for (size_t i = 0; i < 8; ++i) std::memcpy(&(*image)[at + 4 * i], &fields[i], 4);
}

struct QemuRun {
  int exit_status = -1;
  std::string serial;
};

// Boots the multiboot image in QEMU with `memory_mib` of memory and the command line (if
// any), and returns the exit status and everything written to the serial port.
inline QemuRun RunUnderQemu(const std::vector<uint8_t>& image, int memory_mib, const std::string& command_line = "") {
  char dir[] = "/tmp/probe-qemu-XXXXXX";
  EXPECT_NE(mkdtemp(dir), nullptr);
  std::string kernel = std::string(dir) + "/kernel", log = std::string(dir) + "/serial.log";
  std::ofstream(kernel, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
  std::string command = "timeout 300 qemu-system-x86_64 -machine q35,accel=tcg -m " + std::to_string(memory_mib) +
                        " -display none -net none -no-reboot -device isa-debug-exit,iobase=0xf4,iosize=0x04 -kernel " +
                        kernel + (command_line.empty() ? "" : " -append '" + command_line + "'") + " -serial file:" +
                        log + " >/dev/null 2>&1";
  QemuRun run;
  int status = std::system(command.c_str());
  if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  run.serial = text.str();
  std::system(("rm -rf '" + std::string(dir) + "'").c_str());
  return run;
}

// The exit statuses QEMU gives for the probe's pass and fail codes on isa-debug-exit.
constexpr int kQemuPassed = (0x10 << 1) | 1;
constexpr int kQemuFailed = (0x11 << 1) | 1;

}  // namespace probe_qemu
