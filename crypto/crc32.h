// CRC-32 (reflected, polynomial 0xEDB88320) and CRC-32C (Castagnoli, reflected, polynomial
// 0x82F63B78).
#pragma once

#include <stddef.h>
#include <stdint.h>

// Returns the CRC-32 of the data continued from crc (complemented on entry and on exit, so 0
// starts a new checksum). An empty or missing input returns crc unchanged.
uint32_t Crc32(uint32_t crc, const void* data, size_t length);

// Updates the CRC-32C register *crc over the data, with no complement on entry or exit.
void Crc32cUpdate(uint32_t* crc, const void* data, size_t length);
