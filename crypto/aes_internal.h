// The two AES paths behind the public entry points. Schedules passed here are already
// checked; rounds is 10, 12 or 14.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "crypto/aes.h"

// Number of rounds of a schedule, or 0 when its round byte is not 160, 192 or 224.
int AesScheduleRounds(const AesSchedule* schedule);

void AesTableEncryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds);
void AesTableDecryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds);

void AesNiEncryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds);
void AesNiDecryptBlock(const uint8_t* in, uint8_t* out, const uint8_t* roundKeys, int rounds);
void AesNiCbcDecrypt(const uint8_t* in, const uint8_t* chainingValue, size_t blockCount, uint8_t* out,
                     const uint8_t* roundKeys, int rounds);
// XTS decryption of whole blocks: tweak holds T for the first block and is advanced past the last.
void AesNiXtsDecryptBlocks(const uint8_t* in, size_t blockCount, uint8_t* out, uint8_t* tweak,
                           const uint8_t* roundKeys, int rounds);
