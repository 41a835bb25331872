// Buttons made straight from archive pictures: up, selected and down.
#pragma once

#include "ui/archive.h"
#include "ui/button.h"

// The button at {0, 0} with the three pictures (the "@2x" ones on HiDPI screens) and the
// click callback; null on failure (logged). The pictures must share one size.
DUView* ArchiveButtonCreate(const Archive* archive, const char* up_name, const char* selected_name,
                            const char* down_name, UIButtonClickCallback callback, void* context);
