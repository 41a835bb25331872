// Sine and cosine for the animation curves: a table of whole degrees, linear in between.
#pragma once

#include "draw/fixed_point.h"

extern const INT32 kUIAnimationSineTable[360];
// degrees in 16.16; the result in 16.16 (65536 = 1).
INT32 UIAnimationSine(DUFixed degrees);
INT32 UIAnimationCosine(DUFixed degrees);
