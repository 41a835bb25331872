#include "crypto/processor_features.h"

#include "hw/hw.h"
#include "lib/host_reset.h"

namespace {

CryptoProcessorFeatures gFeatures;
bool gRecorded = false;

void ForgetFeatures() {
  gFeatures = CryptoProcessorFeatures{};
  gRecorded = false;
}
HEARTH_HOST_RESET(ForgetFeatures);

}  // namespace

void CryptoRecordProcessorFeatures() {
  uint32_t maxLeaf = HwCpuid(0).eax;
  uint32_t ecx = HwCpuid(1).ecx;
  CryptoProcessorFeatures f{};
  f.ssse3 = (ecx & hw::kLeaf1EcxSsse3) != 0;
  f.sse41 = (ecx & hw::kLeaf1EcxSse41) != 0;
  f.aes = (ecx & hw::kLeaf1EcxAes) != 0;
  f.pclmul = (ecx & hw::kLeaf1EcxPclmul) != 0;
  f.rdrand = (ecx & hw::kLeaf1EcxRdrand) != 0;
  f.sha = maxLeaf >= 7 && (HwCpuid(7, 0).ebx & hw::kLeaf7EbxSha) != 0;
  f.os_sse = HwSseEnabled();
  gFeatures = f;
  gRecorded = true;
}

const CryptoProcessorFeatures& CryptoFeatures() {
  if (!gRecorded) CryptoRecordProcessorFeatures();
  return gFeatures;
}
