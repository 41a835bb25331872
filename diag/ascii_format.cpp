#include "diag/ascii_format.h"

namespace {

struct BufferSink {
  char* write;
  char* end;  // null: unbounded
};

void BufferSinkPut(char c, void* context) {
  BufferSink* b = static_cast<BufferSink*>(context);
  if (b->end && b->write >= b->end) {
    *b->end = 0;
    return;
  }
  *b->write++ = c;
}

void EmitString(const char* s, UINT32 width, AsciiSink sink, void* context) {
  if (!s) s = "(null)";
  UINT32 n = 0;
  for (; *s; ++s, ++n) sink(*s, context);
  for (; n < width; ++n) sink(' ', context);
}

void EmitWideString(const char16_t* s, UINT32 width, AsciiSink sink, void* context) {
  if (!s) {
    EmitString(nullptr, width, sink, context);
    return;
  }
  UINT32 n = 0;
  for (; (*s & 0xFF) != 0; ++s, ++n) sink(static_cast<char>(*s & 0xFF), context);
  for (; n < width; ++n) sink(' ', context);
}

}  // namespace

void AsciiFormatNumber(UINT64 value, UINT32 base, UINT32 flags, UINT32 width, AsciiSink sink, void* context) {
  static const char kDigits[] = "0123456789abcdef0123456789ABCDEF";
  char digits[32];
  UINT32 count = 0;
  UINT32 offset = (flags & kAsciiNumberUpper) ? 16 : 0;
  do {
    digits[count++] = kDigits[value % base + offset];
    value /= base;
  } while (value && count < sizeof(digits));
  UINT32 sign = (flags & kAsciiNumberSigned) ? 1 : 0;
  if (sign) sink('-', context);
  for (UINT32 used = count + sign; used < width; ++used) sink((flags & kAsciiNumberZeroPad) ? '0' : ' ', context);
  while (count) sink(digits[--count], context);
}

void AsciiFormat(const char* format, AsciiSink sink, void* context, va_list args) {
  bool prefix_hex = false;  // set once a %p/%P has been formatted in this call
  for (const char* f = format; *f; ++f) {
    if (*f != '%') {
      sink(*f, context);
      continue;
    }
    UINT32 width = 0;
    UINT32 flags = 0;
    bool wide = false;
    char c;
    // Flags, width and length modifiers, until a conversion character.
    for (;;) {
      c = *++f;
      if (c == 0) return;
      if (c == ' ') continue;
      if (c == '0' && width == 0) {
        flags |= kAsciiNumberZeroPad;
        continue;
      }
      if (c >= '0' && c <= '9') {
        width = width * 10 + static_cast<UINT32>(c - '0');
        continue;
      }
      if (c == 'l' || c == 'q') {
        wide = true;
        continue;
      }
      break;
    }
    if (c < 'D') continue;  // unknown directive: dropped with its "%"
    auto take_integer = [&]() -> UINT64 {
      UINT64 v = va_arg(args, UINT64);
      return wide ? v : (v & 0xFFFFFFFFull);
    };
    switch (c) {
      case 'd': {
        UINT64 v = take_integer();
        bool negative = wide ? (static_cast<INT64>(v) < 0) : ((v & 0x80000000u) != 0);
        if (negative) {
          v = wide ? (0 - v) : ((0 - v) & 0xFFFFFFFFull);
          flags |= kAsciiNumberSigned;
        }
        AsciiFormatNumber(v, 10, flags, width, sink, context);
        break;
      }
      case 'o':
      case 'O':
        AsciiFormatNumber(take_integer(), 8, flags, width, sink, context);
        break;
      case 'x':
      case 'X': {
        if (prefix_hex) {
          sink('0', context);
          sink('x', context);
        }
        AsciiFormatNumber(take_integer(), 16, flags | (c == 'X' ? kAsciiNumberUpper : 0), width, sink, context);
        break;
      }
      case 'p':
      case 'P': {
        prefix_hex = true;
        sink('0', context);
        sink('x', context);
        UINT64 v = reinterpret_cast<UINT64>(va_arg(args, void*));
        AsciiFormatNumber(v, 16, flags | (c == 'P' ? kAsciiNumberUpper : 0), width, sink, context);
        break;
      }
      case 'c':
        sink(static_cast<char>(va_arg(args, UINT64) & 0xFF), context);
        break;
      case 's':
        EmitString(va_arg(args, const char*), width, sink, context);
        break;
      case 'S':
        EmitWideString(va_arg(args, const char16_t*), width, sink, context);
        break;
      case 'D':
        DevicePathTextCallback(va_arg(args, const EFI_DEVICE_PATH_PROTOCOL*), width, sink, context);
        break;
      default:
        break;  // unknown conversion: dropped, no argument consumed
    }
  }
}

UINTN AsciiSPrint(char* buffer, const char* format, ...) {
  BufferSink b{buffer, nullptr};
  va_list args;
  va_start(args, format);
  AsciiFormat(format, BufferSinkPut, &b, args);
  va_end(args);
  *b.write = 0;
  return 0;
}

UINTN AsciiVSNPrint(char* buffer, UINTN size, const char* format, va_list args) {
  if (size == 0) return 0;
  BufferSink b{buffer, buffer + size - 1};
  AsciiFormat(format, BufferSinkPut, &b, args);
  *b.write = 0;
  return static_cast<UINTN>(b.write - buffer);
}

UINTN AsciiSNPrint(char* buffer, UINTN size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  UINTN n = AsciiVSNPrint(buffer, size, format, args);
  va_end(args);
  return n;
}
