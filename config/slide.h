// The kernel address slide: where in 2 MiB steps the kernel is moved at load.
#pragma once

#include "efi/types.h"
#include "config/kernel_slide.h"  // KernelSlide, in force only while kBootModeSlide is set

// Set when the user switched the slide off (safe mode, Command-S with minus); a "slide"
// option on the command line then changes nothing.
extern UINT8 KernelSlideDisabled;

// Bytes of slide for a slide byte: b 2 MiB steps, and for b of 128 or more on family 6
// model 0x2A processors another 0x10200000, which keeps the kernel clear of memory those
// machines reserve.
UINT64 SlideValue(UINT8 b);

// A slide byte from the hardware random-number instruction, else from the time-stamp counter.
UINT8 RandomSlideByte();

// Draws a random slide byte and sets KernelSlide to its value. The caller sets kBootModeSlide.
void RandomSlide();
