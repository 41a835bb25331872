// Per-axis contributor lists of the resampler: for every output pixel, the first source
// pixel and the weights of a run of source pixels. Weights are normalised to sum to one and
// kept to 16.16 precision (their 16.16 values sum to exactly 0x10000, so a uniform picture
// stays uniform); they are stored as floats for the filtering loops.
#pragma once

#include "efi/types.h"

struct DUAxisWeights {
  INT32 output_length;
  INT32 stride;         // weights per output pixel in weights
  INT32 widest;         // largest count
  INT32* first;         // per output pixel
  INT32* count;         // per output pixel
  float* weights;       // output_length x stride
};

// The convolution filters, indices 2..7 of DUResampleFilter.
double DUFilterKernel(UINT32 filter, double distance);
double DUFilterSupport(UINT32 filter);

// Builds the lists for resampling old_length pixels to new_length with filter (2..7).
// EFI_OUT_OF_RESOURCES, or EFI_ABORTED when an output pixel's weights sum to zero.
EFI_STATUS DUAxisWeightsBuild(UINT32 filter, INT32 old_length, INT32 new_length, DUAxisWeights* out);
void DUAxisWeightsFree(DUAxisWeights* weights);
