// The instruction paths are chosen by CPUID and by whether the firmware (or the entry shim)
// turned SSE on: an XMM instruction with CR4.OSFXSR clear raises #UD.
#include "crypto_test_support.h"
#include "crypto/aes.h"
#include "crypto/crc32.h"
#include "crypto/sha256.h"

namespace {

struct ControlCase {
  const char* what;
  uint64_t cr0;
  uint64_t cr4;
  bool os_sse;
};

const ControlCase kControlCases[] = {
    {"SSE on", 0x80000013, 0x620, true},
    {"OSFXSR clear", 0x80000013, 0x420, false},
    {"OSXMMEXCPT clear", 0x80000013, 0x220, false},
    {"both clear, as U-Boot leaves them", 0x80000011, 0x20, false},
    {"EM set", 0x80000017, 0x620, false},
};

void AllInstructionSetsReported() {
  HwFakeSetAesInstructions(true);
  HwFakeSetShaInstructions(true);
  HwFakeSetCpuidBits(1, 0, HwReg::kEcx, hw::kLeaf1EcxPclmul | hw::kLeaf1EcxSsse3 | hw::kLeaf1EcxSse41, true);
}

TEST(ProcessorFeatures, InstructionPathsNeedTheOperatingSystemSseBits) {
  for (const auto& c : kControlCases) {
    TestFirmware fw;
    AllInstructionSetsReported();
    HwFakeSetControlRegisters(c.cr0, c.cr4);
    CryptoRecordProcessorFeatures();
    const CryptoProcessorFeatures& f = CryptoFeatures();
    EXPECT_EQ(f.os_sse, c.os_sse) << c.what;
    EXPECT_EQ(CryptoUseAesInstructions(f), c.os_sse) << c.what;
    EXPECT_EQ(CryptoUseShaInstructions(f), c.os_sse) << c.what;
    EXPECT_EQ(CryptoUseClmulCrc(f), c.os_sse) << c.what;
  }
}

// With SSE off the primitives still give the right answers, through the portable code,
// even when CPUID reports every instruction set.
TEST(ProcessorFeatures, PrimitivesFallBackToPortableCodeWithSseOff) {
  TestFirmware fw;
  AllInstructionSetsReported();
  HwFakeSetControlRegisters(0x80000011, 0x20);
  CryptoRecordProcessorFeatures();

  Bytes key = Hex("000102030405060708090a0b0c0d0e0f"), plain = Hex("00112233445566778899aabbccddeeff");
  AesSchedule enc;
  ASSERT_EQ(AesEncryptKey(key.data(), 16, &enc), 0);
  Bytes out(16);
  ASSERT_EQ(AesEncryptBlock(plain.data(), out.data(), &enc), 0);
  EXPECT_EQ(ToHex(out), "69c4e0d86a7b0430d8cdb78070b4c55a");

  uint8_t digest[32];
  Sha256("abc", 3, digest);
  EXPECT_EQ(ToHex(digest, 32), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");

  Bytes zeros(4096, 0);
  EXPECT_EQ(Crc32(0, zeros.data(), zeros.size()), 0xc71c0011u);
}

}  // namespace
