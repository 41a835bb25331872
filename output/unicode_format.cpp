#include "output/unicode_format.h"

const StatusTextEntry kStatusTextTable[] = {
    {0, "Success"},
    {0x8000000000000001ull, "Load Error"},
    {0x8000000000000002ull, "Invalid Parameter"},
    {0x8000000000000003ull, "Unsupported"},
    {0x8000000000000004ull, "Bad Buffer Size"},
    {0x8000000000000005ull, "Buffer Too Small"},
    {0x8000000000000006ull, "Not Ready"},
    {0x8000000000000007ull, "Device Error"},
    {0x8000000000000008ull, "Write Protected"},
    {0x8000000000000009ull, "Out of Resources"},
    {0x800000000000000Aull, "Volume Corrupt"},
    {0x800000000000000Bull, "Volume Full"},
    {0x800000000000000Cull, "No Media"},
    {0x800000000000000Dull, "Media changed"},
    {0x800000000000000Eull, "Not Found"},
    {0x800000000000000Full, "Access Denied"},
    {0x8000000000000010ull, "No Response"},
    {0x8000000000000011ull, "No mapping"},
    {0x8000000000000012ull, "Time out"},
    {0x8000000000000013ull, "Not started"},
    {0x8000000000000014ull, "Already started"},
    {0x8000000000000015ull, "Aborted"},
    {0x8000000000000016ull, "ICMP Error"},
    {0x8000000000000017ull, "TFTP Error"},
    {0x8000000000000018ull, "Protocol Error"},
    {1, "Warning Unknown Glyph"},
    {2, "Warning Delete Failure"},
    {3, "Warning Write Failure"},
    {4, "Warning Buffer Too Small"},
    {kStatusTextSentinel, nullptr},
};

namespace {

constexpr UINTN kNumberPadLimit = 29;

// Number text is built least significant first, then turned around into the caller's buffer.
struct ReversedText {
  CHAR16 chars[kUnicodeNumberCount];
  UINTN count = 0;
  UINTN limit;

  explicit ReversedText(UINTN max) : limit(max < kUnicodeNumberCount ? max : kUnicodeNumberCount) {}
  void Push(CHAR16 c) {
    if (count < limit) chars[count++] = c;
  }
  void PadTo(UINTN width, UINT32 flags, CHAR16 pad) {
    if (flags & kUnicodeLeftJustify) return;
    if (width > kNumberPadLimit) width = kNumberPadLimit;
    while (count < width && count < limit) chars[count++] = pad;
  }
  UINTN CopyOut(CHAR16* buffer) const {
    for (UINTN i = 0; i < count; ++i) buffer[i] = chars[count - 1 - i];
    buffer[count] = 0;
    return count;
  }
};

}  // namespace

UINTN ValueToHexText(CHAR16* buffer, UINTN count, UINT64 value, UINT32 flags, UINTN width) {
  static const char kDigits[] = "0123456789ABCDEF";
  ReversedText text(count);
  do {
    text.Push(static_cast<CHAR16>(kDigits[value & 0xF]));
    value >>= 4;
  } while (value);
  text.PadTo(width, flags, (flags & kUnicodeZeroPad) ? u'0' : u' ');
  return text.CopyOut(buffer);
}

UINTN ValueToDecimalText(CHAR16* buffer, UINTN count, UINT64 value, UINT32 flags, UINTN width) {
  bool negative = (flags & kUnicodeSignedValue) && static_cast<INT64>(value) < 0;
  UINT64 magnitude = negative ? 0 - value : value;
  ReversedText text(count);
  UINTN in_group = 0;
  do {
    if ((flags & kUnicodeThousands) && in_group == 3) {
      text.Push(u',');
      in_group = 0;
    }
    text.Push(static_cast<CHAR16>(u'0' + magnitude % 10));
    magnitude /= 10;
    ++in_group;
  } while (magnitude);
  if (negative) text.Push(u'-');
  text.PadTo(width, flags, ((flags & kUnicodeZeroPad) && !negative) ? u'0' : u' ');
  return text.CopyOut(buffer);
}

UINTN GuidToText(const EFI_GUID* guid, CHAR16* buffer, UINTN buffer_size) {
  if (!guid) return 0;
  const UINT8* d = guid->Data4;
  UINTN n = UnicodeSPrint(buffer, buffer_size, u"%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                          UINT64{guid->Data1}, UINT64{guid->Data2}, UINT64{guid->Data3}, UINT64{d[0]},
                          UINT64{d[1]}, UINT64{d[2]}, UINT64{d[3]}, UINT64{d[4]}, UINT64{d[5]},
                          UINT64{d[6]}, UINT64{d[7]});
  return n ? n - 1 : 0;
}

UINTN StatusToText(EFI_STATUS status, CHAR16* buffer, UINTN buffer_size) {
  UINTN n = 0;
  const StatusTextEntry* e = kStatusTextTable;
  for (; e->Code != kStatusTextSentinel; ++e) {
    if (e->Code == status) break;
  }
  if (e->Code != kStatusTextSentinel) {
    n = UnicodeSPrint(buffer, buffer_size, u"%a", e->Text);
  } else {
    n = UnicodeSPrint(buffer, buffer_size, u"%X", UINT64{status});
  }
  return n ? n - 1 : 0;
}

namespace {

// The output buffer: at most max characters, the NUL is stored by the caller.
struct Output {
  CHAR16* buffer;
  UINTN max;
  UINTN count = 0;

  bool Full() const { return count >= max; }
  UINTN Room() const { return max - count; }
  void Put(CHAR16 c) {
    if (count < max) buffer[count++] = c;
  }
  void PutText(const CHAR16* text) {
    for (; *text && !Full(); ++text) Put(*text);
  }
  void PadTo(UINTN written, UINTN width) {
    for (; written < width && !Full(); ++written) Put(u' ');
  }
};

struct Directive {
  UINT32 flags = 0;
  UINTN width = 0;
  CHAR16 conversion = 0;
};

class Formatter {
 public:
  Formatter(Output* out, va_list args) : out_(out) { va_copy(args_, args); }
  ~Formatter() { va_end(args_); }

  void Run(const CHAR16* format);

 private:
  UINT64 TakeSlot() { return va_arg(args_, UINT64); }
  template <typename T>
  T TakePointer() {
    return va_arg(args_, T);
  }
  const CHAR16* ParseDirective(const CHAR16* f, Directive* d);
  void Convert(const Directive& d);
  void PutPlain(CHAR16 c);
  void PutAscii(const char* s, UINTN width);
  void PutWide(const CHAR16* s, UINTN width);
  void PutNumber(const Directive& d);
  void PutTime(const EFI_TIME* time);

  Output* out_;
  va_list args_;
};

void Formatter::Run(const CHAR16* format) {
  for (const CHAR16* f = format; *f && !out_->Full(); ++f) {
    if (*f != u'%') {
      PutPlain(*f);
      continue;
    }
    Directive d;
    f = ParseDirective(f + 1, &d);
    if (d.conversion == 0) return;
    Convert(d);
  }
}

void Formatter::PutPlain(CHAR16 c) {
  if (c == u'\n' && out_->Room() >= 2) out_->Put(u'\r');
  out_->Put(c);
}

UINTN ClampWidth(UINT64 width) { return width > kUnicodeMaxWidth ? kUnicodeMaxWidth : static_cast<UINTN>(width); }

// Returns the position of the conversion character (NUL when the format ends early).
const CHAR16* Formatter::ParseDirective(const CHAR16* f, Directive* d) {
  for (;; ++f) {
    switch (*f) {
      case u'-': d->flags |= kUnicodeLeftJustify; break;
      case u'+': d->flags |= kUnicodePlus; break;
      case u' ': d->flags |= kUnicodeBlank; break;
      case u',': d->flags |= kUnicodeThousands; break;
      case u'l':
      case u'L': d->flags |= kUnicodeLong; break;
      case u'*': d->width = ClampWidth(TakeSlot() & 0xFFFFFFFFull); break;
      case u'0':
        d->flags |= kUnicodeZeroPad;
        [[fallthrough]];
      case u'1': case u'2': case u'3': case u'4': case u'5': case u'6': case u'7': case u'8': case u'9': {
        UINT64 width = 0;
        for (; *f >= u'0' && *f <= u'9'; ++f) width = ClampWidth(width * 10 + (*f - u'0'));
        d->width = static_cast<UINTN>(width);
        --f;  // the loop's ++f moves past the last digit
        break;
      }
      default:
        d->conversion = *f;
        return f;
    }
  }
}

void Formatter::Convert(const Directive& d) {
  CHAR16 text[40];
  switch (d.conversion) {
    case u'a':
      PutAscii(TakePointer<const char*>(), d.width);
      break;
    case u's':
    case u'S':
      PutWide(TakePointer<const CHAR16*>(), d.width);
      break;
    case u'c':
      out_->Put(static_cast<CHAR16>(TakeSlot() & 0xFFFF));
      break;
    case u'd':
    case u'u':
    case u'x':
    case u'X':
      PutNumber(d);
      break;
    case u'g':
      if (GuidToText(TakePointer<const EFI_GUID*>(), text, sizeof(text))) out_->PutText(text);
      break;
    case u'r':
      StatusToText(TakeSlot(), text, sizeof(text));
      out_->PutText(text);
      break;
    case u't':
      PutTime(TakePointer<const EFI_TIME*>());
      break;
    default:
      out_->Put(d.conversion);  // "%%" and unknown conversions print themselves
      break;
  }
}

void Formatter::PutAscii(const char* s, UINTN width) {
  if (!s) s = "<null string>";
  UINTN n = 0;
  for (; *s && !out_->Full(); ++s, ++n) out_->Put(static_cast<UINT8>(*s));
  out_->PadTo(n, width);
}

void Formatter::PutWide(const CHAR16* s, UINTN width) {
  if (!s) {
    PutAscii(nullptr, width);
    return;
  }
  UINTN n = 0;
  for (; *s && !out_->Full(); ++s, ++n) out_->Put(*s);
  out_->PadTo(n, width);
}

void Formatter::PutNumber(const Directive& d) {
  UINT64 value = TakeSlot();
  UINT32 flags = d.flags;
  UINTN width = d.width;
  CHAR16 text[kUnicodeNumberCount + 1];
  if (d.conversion == u'd') {
    if (!(flags & kUnicodeLong)) value = static_cast<UINT64>(static_cast<INT64>(static_cast<INT32>(value & 0xFFFFFFFFu)));
    ValueToDecimalText(text, kUnicodeNumberCount, value, flags | kUnicodeSignedValue, width);
  } else if (d.conversion == u'u') {
    ValueToDecimalText(text, kUnicodeNumberCount, value, flags, width);
  } else {
    if (d.conversion == u'X') {
      flags |= kUnicodeZeroPad;
      width = 16;
    }
    ValueToHexText(text, kUnicodeNumberCount, value, flags, width);
  }
  out_->PutText(text);
}

void Formatter::PutTime(const EFI_TIME* time) {
  if (!time) return;
  CHAR16 text[40];
  UnicodeSPrint(text, sizeof(text), u"%02d/%02d/%04d  %02d:%02d", UINT64{time->Month}, UINT64{time->Day},
                UINT64{time->Year}, UINT64{time->Hour}, UINT64{time->Minute});
  out_->PutText(text);
}

}  // namespace

UINTN UnicodeVSPrint(CHAR16* buffer, UINTN buffer_size, const CHAR16* format, va_list args) {
  if (!buffer || buffer_size < 2) return 0;
  Output out{buffer, buffer_size / 2 - 1};
  if (format && out.max) {
    Formatter formatter(&out, args);
    formatter.Run(format);
  }
  buffer[out.count] = 0;
  return out.count + 1;
}

UINTN UnicodeSPrint(CHAR16* buffer, UINTN buffer_size, const CHAR16* format, ...) {
  va_list args;
  va_start(args, format);
  UINTN n = UnicodeVSPrint(buffer, buffer_size, format, args);
  va_end(args);
  return n;
}
