// Processor features the cryptographic code chooses its paths by. They are recorded once at
// start (the boot sequence calls CryptoRecordProcessorFeatures) and read on every call of a
// primitive; a primitive called before the record exists records it first.
#pragma once

#include <stdint.h>

struct CryptoProcessorFeatures {
  bool ssse3;   // CPUID 1 ECX bit 9
  bool sse41;   // CPUID 1 ECX bit 19
  bool aes;     // CPUID 1 ECX bit 25: AES instructions
  bool pclmul;  // CPUID 1 ECX bit 1: carry-less multiplication
  bool rdrand;  // CPUID 1 ECX bit 30
  bool sha;     // CPUID 7.0 EBX bit 29: SHA extensions
  // The operating-system side of SSE: CR4.OSFXSR and CR4.OSXMMEXCPT set, CR0.EM clear.
  // Every instruction path above works on XMM registers and needs it, whatever CPUID says.
  bool os_sse;
};

// Reads CPUID and replaces the record.
void CryptoRecordProcessorFeatures();

// The recorded features (recorded on first use).
const CryptoProcessorFeatures& CryptoFeatures();

// Which paths the features select.
inline bool CryptoUseAesInstructions(const CryptoProcessorFeatures& f) { return f.os_sse && f.aes; }
inline bool CryptoUseShaInstructions(const CryptoProcessorFeatures& f) {
  return f.os_sse && f.sha && f.ssse3 && f.sse41;
}
inline bool CryptoUseClmulCrc(const CryptoProcessorFeatures& f) { return f.os_sse && f.pclmul && f.sse41; }
