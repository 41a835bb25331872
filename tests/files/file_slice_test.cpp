#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "flags/boot_mode.h"
#include "files/boot_file.h"
#include "lib/mem.h"
#include "testfw/test_firmware.h"

namespace {

struct Arch {
  uint32_t type, subtype, offset, size;
};

// A universal file in either byte order followed by filler up to `total` bytes.
std::vector<uint8_t> Universal(std::vector<Arch> archs, bool big_endian, size_t total = 0x3000) {
  std::vector<uint8_t> f(total, 0xAA);
  auto put = [&](size_t at, uint32_t v) {
    if (big_endian) {
      StoreBe32(&f[at], v);
    } else {
      StoreLe32(&f[at], v);
    }
  };
  put(0, 0xCAFEBABE);
  put(4, static_cast<uint32_t>(archs.size()));
  for (size_t i = 0; i < archs.size(); ++i) {
    put(8 + 20 * i, archs[i].type);
    put(12 + 20 * i, archs[i].subtype);
    put(16 + 20 * i, archs[i].offset);
    put(20 + 20 * i, archs[i].size);
  }
  return f;
}

std::vector<uint8_t> Thin(uint32_t magic, uint32_t subtype, size_t total = 64) {
  std::vector<uint8_t> f(total, 0);
  StoreLe32(&f[0], magic);
  StoreLe32(&f[4], 0x01000007);
  StoreLe32(&f[8], subtype);
  return f;
}

struct Outcome {
  EFI_STATUS status;
  uint64_t offset = 0, size = 0, position = 0;
};

Outcome Select(const std::vector<uint8_t>& bytes) {
  BootFile file;
  BootFileFromMemory(bytes.data(), bytes.size(), &file);
  Outcome o{EFI_SUCCESS};
  o.status = SelectFileSlice(&file, &o.offset, &o.size);
  o.position = file.Position;
  return o;
}

constexpr uint32_t kX64 = 0x01000007;

}  // namespace

TEST(SelectFileSlice, SubtypeEightWinsOnlyWhenTheProcessorIsEight) {
  TestFirmware fw;
  for (bool big : {true, false}) {
    for (bool eight_first : {true, false}) {
      std::vector<Arch> archs = {{kX64, 3, 0x1000, 0x100}, {kX64, 8, 0x2000, 0x200}};
      if (eight_first) std::swap(archs[0], archs[1]);
      auto file = Universal(archs, big);
      CpuSubtype = 3;
      Outcome o = Select(file);
      EXPECT_EQ(o.status, EFI_SUCCESS);
      EXPECT_EQ(o.offset, 0x1000u);
      EXPECT_EQ(o.position, 0x1000u);
      CpuSubtype = 8;
      o = Select(file);
      EXPECT_EQ(o.offset, 0x2000u) << "big=" << big << " eight_first=" << eight_first;
      EXPECT_EQ(o.size, 0x200u);
    }
  }
}

TEST(SelectFileSlice, Refusals) {
  TestFirmware fw;
  CpuSubtype = 3;
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"short header", std::vector<uint8_t>(7, 0)},
      {"empty universal file", Universal({}, true)},
      {"only a 32-bit slice", Universal({{7, 3, 0x1000, 0x100}}, true)},
      {"big-endian Mach-O", [] {
         std::vector<uint8_t> f(64, 0);
         StoreBe32(&f[0], 0xFEEDFACF);
         return f;
       }()},
      {"thin Mach-O with another subtype", Thin(0xFEEDFACF, 0x80000003)},
      {"slice beyond the file", Universal({{kX64, 3, 0x2F00, 0x200}}, true)},
      {"Mach-O shorter than its header", Thin(0xFEEDFACF, 3, 20)},
  };
  for (auto& c : cases) EXPECT_EQ(Select(c.bytes).status, EFI_LOAD_ERROR) << c.what;
}

TEST(SelectFileSlice, PlainFilesAreOneSlice) {
  TestFirmware fw;
  std::vector<uint8_t> container(100, 0);
  std::memcpy(container.data(), "comp", 4);
  Outcome o = Select(container);
  EXPECT_EQ(o.status, EFI_SUCCESS);
  EXPECT_EQ(o.offset, 0u);
  EXPECT_EQ(o.size, 100u);
  EXPECT_EQ(o.position, 0u);
  o = Select(Thin(0xFEEDFACF, 3, 4096));
  EXPECT_EQ(o.status, EFI_SUCCESS);
  EXPECT_EQ(o.size, 4096u);
}
