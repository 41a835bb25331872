#include "machine/processor.h"

#include "flags/boot_mode.h"
#include "crypto/processor_features.h"
#include "hw/hw.h"

namespace {

constexpr UINT32 kLeaf1EcxHaswell = 0x10D01000;  // FMA, SSE4.2, MOVBE, POPCNT, AVX
constexpr UINT32 kLeaf7EbxHaswell = 0x128;       // BMI1, AVX2, BMI2
constexpr UINT32 kExtendedEcxLzcnt = 1u << 5;

}  // namespace

void RecordProcessorFeatures() { CryptoRecordProcessorFeatures(); }

bool ProcessorSupportsHaswellSubtype() {
  if (HwCpuid(0x80000000).eax < 0x80000001) return false;
  if ((HwCpuid(1).ecx & kLeaf1EcxHaswell) != kLeaf1EcxHaswell) return false;
  if ((HwCpuid(7, 0).ebx & kLeaf7EbxHaswell) != kLeaf7EbxHaswell) return false;
  return (HwCpuid(0x80000001).ecx & kExtendedEcxLzcnt) != 0;
}

EFI_STATUS SetCpuSubtype(UINT32 subtype) {
  if (subtype != 3 && subtype != 8) return EFI_UNSUPPORTED;
  if (subtype == 8 && !ProcessorSupportsHaswellSubtype()) return EFI_UNSUPPORTED;
  CpuSubtype = subtype;
  return EFI_SUCCESS;
}

bool ProcessorIsVirtualMachine() { return (HwCpuid(1).ecx & hw::kLeaf1EcxHypervisor) != 0; }
