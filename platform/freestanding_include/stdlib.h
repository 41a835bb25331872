/* The part of <stdlib.h> the PNG decoder needs, for the freestanding platform loader. Memory
 * comes from the decoder's own allocation hooks (platform/png_decoder.cpp), never malloc. */
#pragma once

static inline int abs(int value) { return value < 0 ? -value : value; }
