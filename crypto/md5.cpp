#include "crypto/md5.h"

#include "crypto/wipe.h"
#include "lib/mem.h"

namespace {

inline uint32_t Rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Each step adds the message word and constant first, so only the last additions wait for
// b. G is written as the sum (b & d) + (c & ~d) (the two terms never share a bit), which
// shortens the chain through b.
#define MD5_STEP(f, a, b, c, d, x, k, s) \
  do {                                   \
    a += (x) + (k);                      \
    a += f(b, c, d);                     \
    a = b + Rotl(a, s);                  \
  } while (0)
#define MD5_STEP_G(a, b, c, d, x, k, s) \
  do {                                  \
    a += (x) + (k);                     \
    a += (c) & ~(d);                    \
    a += (b) & (d);                     \
    a = b + Rotl(a, s);                 \
  } while (0)
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

void Transform(uint32_t state[4], const uint8_t* block) {
  uint32_t x[16];
  for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

  MD5_STEP(MD5_F, a, b, c, d, x[0], 0xd76aa478, 7);   MD5_STEP(MD5_F, d, a, b, c, x[1], 0xe8c7b756, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[2], 0x242070db, 17);  MD5_STEP(MD5_F, b, c, d, a, x[3], 0xc1bdceee, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[4], 0xf57c0faf, 7);   MD5_STEP(MD5_F, d, a, b, c, x[5], 0x4787c62a, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[6], 0xa8304613, 17);  MD5_STEP(MD5_F, b, c, d, a, x[7], 0xfd469501, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[8], 0x698098d8, 7);   MD5_STEP(MD5_F, d, a, b, c, x[9], 0x8b44f7af, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[10], 0xffff5bb1, 17); MD5_STEP(MD5_F, b, c, d, a, x[11], 0x895cd7be, 22);
  MD5_STEP(MD5_F, a, b, c, d, x[12], 0x6b901122, 7);  MD5_STEP(MD5_F, d, a, b, c, x[13], 0xfd987193, 12);
  MD5_STEP(MD5_F, c, d, a, b, x[14], 0xa679438e, 17); MD5_STEP(MD5_F, b, c, d, a, x[15], 0x49b40821, 22);

  MD5_STEP_G(a, b, c, d, x[1], 0xf61e2562, 5);   MD5_STEP_G(d, a, b, c, x[6], 0xc040b340, 9);
  MD5_STEP_G(c, d, a, b, x[11], 0x265e5a51, 14); MD5_STEP_G(b, c, d, a, x[0], 0xe9b6c7aa, 20);
  MD5_STEP_G(a, b, c, d, x[5], 0xd62f105d, 5);   MD5_STEP_G(d, a, b, c, x[10], 0x02441453, 9);
  MD5_STEP_G(c, d, a, b, x[15], 0xd8a1e681, 14); MD5_STEP_G(b, c, d, a, x[4], 0xe7d3fbc8, 20);
  MD5_STEP_G(a, b, c, d, x[9], 0x21e1cde6, 5);   MD5_STEP_G(d, a, b, c, x[14], 0xc33707d6, 9);
  MD5_STEP_G(c, d, a, b, x[3], 0xf4d50d87, 14);  MD5_STEP_G(b, c, d, a, x[8], 0x455a14ed, 20);
  MD5_STEP_G(a, b, c, d, x[13], 0xa9e3e905, 5);  MD5_STEP_G(d, a, b, c, x[2], 0xfcefa3f8, 9);
  MD5_STEP_G(c, d, a, b, x[7], 0x676f02d9, 14);  MD5_STEP_G(b, c, d, a, x[12], 0x8d2a4c8a, 20);

  MD5_STEP(MD5_H, a, b, c, d, x[5], 0xfffa3942, 4);   MD5_STEP(MD5_H, d, a, b, c, x[8], 0x8771f681, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[11], 0x6d9d6122, 16); MD5_STEP(MD5_H, b, c, d, a, x[14], 0xfde5380c, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[1], 0xa4beea44, 4);   MD5_STEP(MD5_H, d, a, b, c, x[4], 0x4bdecfa9, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[7], 0xf6bb4b60, 16);  MD5_STEP(MD5_H, b, c, d, a, x[10], 0xbebfbc70, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[13], 0x289b7ec6, 4);  MD5_STEP(MD5_H, d, a, b, c, x[0], 0xeaa127fa, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[3], 0xd4ef3085, 16);  MD5_STEP(MD5_H, b, c, d, a, x[6], 0x04881d05, 23);
  MD5_STEP(MD5_H, a, b, c, d, x[9], 0xd9d4d039, 4);   MD5_STEP(MD5_H, d, a, b, c, x[12], 0xe6db99e5, 11);
  MD5_STEP(MD5_H, c, d, a, b, x[15], 0x1fa27cf8, 16); MD5_STEP(MD5_H, b, c, d, a, x[2], 0xc4ac5665, 23);

  MD5_STEP(MD5_I, a, b, c, d, x[0], 0xf4292244, 6);   MD5_STEP(MD5_I, d, a, b, c, x[7], 0x432aff97, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[14], 0xab9423a7, 15); MD5_STEP(MD5_I, b, c, d, a, x[5], 0xfc93a039, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[12], 0x655b59c3, 6);  MD5_STEP(MD5_I, d, a, b, c, x[3], 0x8f0ccc92, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[10], 0xffeff47d, 15); MD5_STEP(MD5_I, b, c, d, a, x[1], 0x85845dd1, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[8], 0x6fa87e4f, 6);   MD5_STEP(MD5_I, d, a, b, c, x[15], 0xfe2ce6e0, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[6], 0xa3014314, 15);  MD5_STEP(MD5_I, b, c, d, a, x[13], 0x4e0811a1, 21);
  MD5_STEP(MD5_I, a, b, c, d, x[4], 0xf7537e82, 6);   MD5_STEP(MD5_I, d, a, b, c, x[11], 0xbd3af235, 10);
  MD5_STEP(MD5_I, c, d, a, b, x[2], 0x2ad7d2bb, 15);  MD5_STEP(MD5_I, b, c, d, a, x[9], 0xeb86d391, 21);

  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

void Md5Init(Md5Context* context) {
  if (!context) return;
  context->state[0] = 0x67452301;
  context->state[1] = 0xefcdab89;
  context->state[2] = 0x98badcfe;
  context->state[3] = 0x10325476;
  context->count[0] = context->count[1] = 0;
  MemZero(context->buffer, sizeof(context->buffer));
}

void Md5Update(Md5Context* context, const void* data, uint32_t length) {
  if (!context || !data || !length) return;
  const uint8_t* p = static_cast<const uint8_t*>(data);
  uint32_t used = context->count[0] % 64;
  uint32_t low = context->count[0] + length;
  context->count[1] += low < context->count[0];
  context->count[0] = low;
  if (used) {
    uint32_t take = 64 - used < length ? 64 - used : length;
    MemCopy(context->buffer + used, p, take);
    p += take;
    length -= take;
    if (used + take < 64) return;
    Transform(context->state, context->buffer);
  }
  for (; length >= 64; length -= 64, p += 64) Transform(context->state, p);
  MemCopy(context->buffer, p, length);
}

void Md5Final(uint8_t* digest, Md5Context* context) {
  if (!context) return;
  if (digest) {
    uint32_t used = context->count[0] % 64;
    uint64_t bits = ((uint64_t(context->count[1]) << 32) | context->count[0]) << 3;
    context->buffer[used++] = 0x80;
    if (used > 56) {
      MemZero(context->buffer + used, 64 - used);
      Transform(context->state, context->buffer);
      used = 0;
    }
    MemZero(context->buffer + used, 56 - used);
    StoreLe64(context->buffer + 56, bits);
    Transform(context->state, context->buffer);
    for (int i = 0; i < 4; ++i) StoreLe32(digest + 4 * i, context->state[i]);
  }
  CryptoWipe(context, sizeof(*context));
}
