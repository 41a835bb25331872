/* The part of <string.h> the PNG decoder needs; lib/freestanding.cpp defines them. */
#pragma once

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif
void* memcpy(void* dst, const void* src, size_t size);
void* memset(void* dst, int value, size_t size);
#ifdef __cplusplus
}
#endif
