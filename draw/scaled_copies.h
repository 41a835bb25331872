// The scaled-copy cache behind DUCompositePixelBuffers' scaling.
#pragma once

#include "draw/composite.h"

// Finds or makes the copy of source that scaling asks for. With a cache the copy stays in
// it; without one *temporary receives it and the caller frees it with DUScaledCopiesFree.
// EFI_INVALID_PARAMETER when the factors leave no pixels or more than 32-bit sides,
// EFI_OUT_OF_RESOURCES, or the resampler's error (an existing entry is then left as it was).
EFI_STATUS DUScaledCopyFind(const DUScaling& scaling, const DUPixel* source, DUSize source_size,
                            const DUScaledCopy** copy, DUScaledCopy** temporary);
