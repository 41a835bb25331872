// Keys, images and signed chunk lists for the verification tests.
#pragma once

#include <cstdint>
#include <vector>

#include "tools/lib/chunklist.h"

// Two RSA-2048 keys made once per test program.
EVP_PKEY* TrustedKey();
EVP_PKEY* OtherKey();

// Bytes that differ from chunk to chunk.
std::vector<uint8_t> PatternImage(size_t size, uint32_t seed = 1);

// A chunk list of image with 1 + additional signature slots; slot number good_slot is signed
// with TrustedKey, every other slot with OtherKey (good_slot -1: none with TrustedKey).
std::vector<uint8_t> SignedChunkList(const std::vector<uint8_t>& image, uint32_t chunk_size,
                                     uint8_t additional = 0, int good_slot = 0);

// Registers TrustedKey with the platform loader's signature stand-in and installs it on the
// current test firmware.
void InstallTrustedSignatureService();
