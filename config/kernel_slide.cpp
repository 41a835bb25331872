#include "config/kernel_slide.h"

#include "lib/host_reset.h"

UINT64 KernelSlide = 0;

namespace {

void ResetKernelSlide() { KernelSlide = 0; }
HEARTH_HOST_RESET(ResetKernelSlide);

}  // namespace
