#include "output/ascii_format.h"

namespace {

struct BufferSink {
  char* write;
  char* end;  // null: unbounded
};

// At the end pointer the character is dropped and a NUL stands there instead.
void BufferSinkPut(char c, void* context) {
  BufferSink* b = static_cast<BufferSink*>(context);
  if (b->end && b->write >= b->end) {
    *b->end = 0;
    return;
  }
  *b->write++ = c;
}

void EmitPadding(UINT32 used, UINT32 width, AsciiSink sink, void* context) {
  for (; used < width; ++used) sink(' ', context);
}

void EmitString(const char* s, UINT32 width, AsciiSink sink, void* context) {
  if (!s) s = "(null)";
  UINT32 n = 0;
  for (; *s; ++s, ++n) sink(*s, context);
  EmitPadding(n, width, sink, context);
}

void EmitWideString(const char16_t* s, UINT32 width, AsciiSink sink, void* context) {
  if (!s) {
    EmitString(nullptr, width, sink, context);
    return;
  }
  UINT32 n = 0;
  for (; (*s & 0xFF) != 0; ++s, ++n) sink(static_cast<char>(*s & 0xFF), context);
  EmitPadding(n, width, sink, context);
}

// One "%" directive: flags, width and length, then the conversion character.
struct Directive {
  UINT32 flags = 0;
  UINT32 width = 0;
  bool wide = false;
  char conversion = 0;
};

// Reads flags, width and length modifiers after "%"; returns the conversion character's position
// (which holds NUL when the format ends inside the directive).
const char* ParseDirective(const char* f, Directive* d) {
  for (;; ++f) {
    char c = *f;
    if (c == ' ') continue;
    if (c == '0' && d->width == 0) {
      d->flags |= kAsciiNumberZeroPad;
    } else if (c >= '0' && c <= '9') {
      d->width = d->width * 10 + static_cast<UINT32>(c - '0');
      if (d->width > kAsciiMaxWidth) d->width = kAsciiMaxWidth;
    } else if (c == 'l' || c == 'q') {
      d->wide = true;
    } else {
      d->conversion = c;
      return f;
    }
  }
}

class Formatter {
 public:
  Formatter(AsciiSink sink, void* context, va_list args) : sink_(sink), context_(context) { va_copy(args_, args); }
  ~Formatter() { va_end(args_); }

  void Convert(const Directive& d);

 private:
  // Without "l"/"q" an integer is the low 32 bits of its slot.
  UINT64 TakeInteger(const Directive& d) {
    UINT64 v = va_arg(args_, UINT64);
    return d.wide ? v : (v & 0xFFFFFFFFull);
  }
  template <typename T>
  T TakePointer() {
    return va_arg(args_, T);
  }
  void Decimal(const Directive& d);
  void Hex(const Directive& d, UINT64 value, bool upper);

  AsciiSink sink_;
  void* context_;
  va_list args_;
  bool prefix_hex_ = false;  // set once a %p/%P has been formatted in this call
};

void Formatter::Decimal(const Directive& d) {
  UINT64 v = TakeInteger(d);
  UINT64 sign_bit = d.wide ? 0x8000000000000000ull : 0x80000000ull;
  UINT32 flags = d.flags;
  if (v & sign_bit) {
    v = d.wide ? (0 - v) : ((0 - v) & 0xFFFFFFFFull);
    flags |= kAsciiNumberSigned;
  }
  AsciiFormatNumber(v, 10, flags, d.width, sink_, context_);
}

void Formatter::Hex(const Directive& d, UINT64 value, bool upper) {
  UINT32 flags = d.flags | (upper ? kAsciiNumberUpper : 0) | (prefix_hex_ ? kAsciiNumberPrefix0x : 0);
  AsciiFormatNumber(value, 16, flags, d.width, sink_, context_);
}

void Formatter::Convert(const Directive& d) {
  switch (d.conversion) {
    case 'd':
      Decimal(d);
      break;
    case 'o':
    case 'O':
      AsciiFormatNumber(TakeInteger(d), 8, d.flags, d.width, sink_, context_);
      break;
    case 'x':
    case 'X':
      Hex(d, TakeInteger(d), d.conversion == 'X');
      break;
    case 'p':
    case 'P':
      prefix_hex_ = true;
      Hex(d, reinterpret_cast<UINT64>(TakePointer<const void*>()), d.conversion == 'P');
      break;
    case 'c':
      sink_(static_cast<char>(va_arg(args_, UINT64) & 0xFF), context_);
      break;
    case 's':
      EmitString(TakePointer<const char*>(), d.width, sink_, context_);
      break;
    case 'S':
      EmitWideString(TakePointer<const char16_t*>(), d.width, sink_, context_);
      break;
    case 'D':
      DevicePathTextCallback(TakePointer<const EFI_DEVICE_PATH_PROTOCOL*>(), d.width, sink_, context_);
      break;
    default:
      break;  // unknown conversion: dropped, no argument taken
  }
}

}  // namespace

void AsciiFormatNumber(UINT64 value, UINT32 base, UINT32 flags, UINT32 width, AsciiSink sink, void* context) {
  static const char kDigits[] = "0123456789abcdef0123456789ABCDEF";
  if (base < 2 || base > 16) base = 10;
  char digits[64];  // 64 bits in base 2
  UINT32 count = 0;
  UINT32 offset = (flags & kAsciiNumberUpper) ? 16 : 0;
  do {
    digits[count++] = kDigits[value % base + offset];
    value /= base;
  } while (value && count < sizeof(digits));
  if (flags & kAsciiNumberPrefix0x) {
    sink('0', context);
    sink('x', context);
  }
  UINT32 sign = (flags & kAsciiNumberSigned) ? 1 : 0;
  if (sign) sink('-', context);
  if (width > kAsciiMaxWidth) width = kAsciiMaxWidth;
  char pad = (flags & kAsciiNumberZeroPad) ? '0' : ' ';
  for (UINT32 used = count + sign; used < width; ++used) sink(pad, context);
  while (count) sink(digits[--count], context);
}

void AsciiFormat(const char* format, AsciiSink sink, void* context, va_list args) {
  if (!format) return;
  Formatter formatter(sink, context, args);
  for (const char* f = format; *f; ++f) {
    if (*f != '%') {
      sink(*f, context);
      continue;
    }
    Directive d;
    f = ParseDirective(f + 1, &d);
    if (d.conversion == 0) return;
    if (d.conversion < 'D') continue;  // "%%", "%-" and the like vanish
    formatter.Convert(d);
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
  if (!buffer || size == 0) return 0;
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
