#include "diag/device_path_text.h"

#include "output/unicode_format.h"
#include "memory/memory.h"
#include "lib/mem.h"

namespace {

constexpr UINTN kScratchBytes = 4096;

// ---- Text of one node ----------------------------------------------------------------------

// A node's text is built here first so that it lands in the result whole or not at all. It holds
// more than can ever be appended, so a fragment cut short here is one that would not fit anyway.
struct Fragment {
  static constexpr UINTN kChars = kPoolTextMaxLength / 2 + 32;
  CHAR16 text[kChars] = {};
  UINTN used = 0;

  bool Full() const { return used + 1 >= kChars; }
  void Put(CHAR16 c) {
    if (Full()) return;
    text[used++] = c;
    text[used] = 0;
  }
  void Print(const CHAR16* format, ...) {
    va_list args;
    va_start(args, format);
    UINTN n = UnicodeVSPrint(text + used, (kChars - used) * sizeof(CHAR16), format, args);
    va_end(args);
    if (n) used += n - 1;
  }
};

// Field reads of a node in the aligned copy; the dispatch table guarantees the node is long
// enough, and a read past it would yield 0 rather than leave the node.
UINT64 Byte(ByteSpan n, size_t offset) {
  uint8_t v = 0;
  n.ReadU8(offset, &v);
  return v;
}
UINT64 Le16(ByteSpan n, size_t offset) {
  uint16_t v = 0;
  n.ReadLe16(offset, &v);
  return v;
}
UINT64 Le32(ByteSpan n, size_t offset) {
  uint32_t v = 0;
  n.ReadLe32(offset, &v);
  return v;
}
UINT64 Le64(ByteSpan n, size_t offset) {
  uint64_t v = 0;
  n.ReadLe64(offset, &v);
  return v;
}
EFI_GUID Guid(ByteSpan n, size_t offset) {
  EFI_GUID g{};
  n.Read(offset, &g);
  return g;
}

void PciText(ByteSpan n, Fragment* f) { f->Print(u"Pci(%x|%x)", Byte(n, 5), Byte(n, 4)); }
void PcCardText(ByteSpan n, Fragment* f) { f->Print(u"Pcmcia(Function%x)", Byte(n, 4)); }
void MemMapText(ByteSpan n, Fragment* f) { f->Print(u"MemMap(%d:%llx-%llx)", Le32(n, 4), Le64(n, 8), Le64(n, 16)); }
void ControllerText(ByteSpan n, Fragment* f) { f->Print(u"Ctrl(%d)", Le32(n, 4)); }

void VendorText(ByteSpan n, Fragment* f) {
  UINT64 type = Byte(n, 0) & 0x7F;
  bool media = type == HARDWARE_DEVICE_PATH || type == MESSAGING_DEVICE_PATH || type == MEDIA_DEVICE_PATH;
  EFI_GUID guid = Guid(n, 4);
  f->Print(u"Ven%s(%g)", media ? u"Media" : u"?", &guid);
}

void AcpiText(ByteSpan n, Fragment* f) {
  UINT64 hid = Le32(n, 4);
  UINT64 uid = Le32(n, 8);
  if ((hid & 0xFFFF) == 0x41D0) {
    f->Print(u"Acpi(PNP%04x,%x)", hid >> 16, uid);
  } else {
    f->Print(u"Acpi(%08x,%x)", hid, uid);
  }
}

void AtapiText(ByteSpan n, Fragment* f) {
  f->Print(u"Ata(%s,%s)", Byte(n, 4) ? u"Secondary" : u"Primary", Byte(n, 5) ? u"Slave" : u"Master");
}
void ScsiText(ByteSpan n, Fragment* f) { f->Print(u"Scsi(Pun%x,Lun%x)", Le16(n, 4), Le16(n, 6)); }
void FibreText(ByteSpan n, Fragment* f) { f->Print(u"Fibre(Wwn%lx,Lun%x)", Le64(n, 8), Le64(n, 16)); }
void SkeinText(ByteSpan n, Fragment* f) {
  UINT64 guid = Le64(n, 8);
  f->Print(u"Skein(%08x - %08x)", guid >> 32, guid & 0xFFFFFFFFu);
}
void UsbText(ByteSpan n, Fragment* f) { f->Print(u"Usb(%x, %x)", Byte(n, 4), Byte(n, 5)); }
void I2oText(ByteSpan n, Fragment* f) { f->Print(u"I2O(%x)", Le32(n, 4)); }
void InfiniBandText(ByteSpan, Fragment* f) { f->Print(u"InfiniBand(not-done)"); }

void MacText(ByteSpan n, Fragment* f) {
  UINTN count = Byte(n, 36) <= 1 ? 6 : 32;
  f->Print(u"Mac(");
  for (UINTN i = 0; i < count; ++i) f->Print(u"%02x", Byte(n, 4 + i));
  f->Print(u")");
}

void Ipv4Text(ByteSpan n, Fragment* f) {
  f->Print(u"IPv4(%d.%d.%d.%d:%d)", Byte(n, 8), Byte(n, 9), Byte(n, 10), Byte(n, 11), Le16(n, 14));
}
void Ipv6Text(ByteSpan, Fragment* f) { f->Print(u"IP-v6(not-done)"); }

void UartText(ByteSpan n, Fragment* f) {
  static const CHAR16 kParity[] = u"DNEOMS";
  UINT64 baud = Le64(n, 8);
  UINT64 parity = Byte(n, 17);
  UINT64 letter = parity > 5 ? u'x' : kParity[parity];
  if (baud) {
    f->Print(u"Uart(%d %c", baud, letter);
  } else {
    f->Print(u"Uart(DEFAULT %c", letter);
  }
  UINT64 data_bits = Byte(n, 16);
  if (data_bits) {
    f->Print(u"%d", data_bits);
  } else {
    f->Print(u"D");
  }
  static const CHAR16* const kStopBits[] = {u"D)", u"1)", u"1.5)", u"2)"};
  UINT64 stop = Byte(n, 18);
  f->Print(u"%s", stop < 4 ? kStopBits[stop] : u"x)");
}

void UsbClassText(ByteSpan n, Fragment* f) {
  f->Print(u"Usb Class(%x, %x, %x, %x, %x)", Le16(n, 4), Le16(n, 6), Byte(n, 8), Byte(n, 9), Byte(n, 10));
}
void SkeinUnitText(ByteSpan n, Fragment* f) { f->Print(u"SKUnit(%08x,  %04x)", Le32(n, 4), Le16(n, 8)); }
void SataText(ByteSpan n, Fragment* f) { f->Print(u"SATA(%x,%x)", Le16(n, 4), Le16(n, 6)); }
void NvmeText(ByteSpan n, Fragment* f) { f->Print(u"NVME(%x,%lx)", Le32(n, 4), Le64(n, 8)); }

void HardDriveText(ByteSpan n, Fragment* f) {
  UINT64 partition = Le32(n, 4);
  UINT64 signature_type = Byte(n, 41);
  if (signature_type == 2) {
    EFI_GUID guid = Guid(n, 24);
    f->Print(u"HD(Part%d,Sig%g)", partition, &guid);
  } else if (signature_type == 1) {
    f->Print(u"HD(Part%d,Sig%08x)", partition, Le32(n, 24));
  } else {
    f->Print(u"HD(Part%d,MBRType=%02x,SigType=%02x)", partition, Byte(n, 40), signature_type);
  }
}

void CdromText(ByteSpan n, Fragment* f) { f->Print(u"CDROM(Entry%x)", Le32(n, 4)); }

// The name need not be terminated inside its node: it ends at the node's end at the latest.
void FilePathText(ByteSpan n, Fragment* f) {
  for (size_t offset = 4; offset + 1 < n.size() && !f->Full(); offset += 2) {
    CHAR16 c = static_cast<CHAR16>(Le16(n, offset));
    if (c == 0) break;
    f->Put(c);
  }
}

void GuidText(ByteSpan n, Fragment* f) {
  EFI_GUID guid = Guid(n, 4);
  f->Print(u"%g", &guid);
}

void LegacyText(ByteSpan n, Fragment* f) {
  static const CHAR16* const kNames[] = {u"?", u"Floppy", u"Harddrive", u"CDROM", u"PCMCIA", u"Usb", u"Net"};
  UINT64 device = Le16(n, 4);
  f->Print(u"Legacy-%s", device < 7 ? kNames[device] : u"?");
}

void EndInstanceText(ByteSpan, Fragment* f) { f->Print(u","); }

void UnknownText(ByteSpan n, Fragment* f) {
  f->Print(u"?[ ");
  for (size_t i = 0; i < n.size() && !f->Full(); ++i) f->Print(u"0x%x ", Byte(n, i));
  f->Print(u"]");
}

struct NodeFormat {
  UINT8 type;
  UINT8 subtype;
  UINT8 min_length;  // shorter nodes print as unknown ones
  void (*text)(ByteSpan node, Fragment* out);
};

const NodeFormat kNodeFormats[] = {
    {1, 1, 6, PciText},          {1, 2, 5, PcCardText},       {1, 3, 24, MemMapText},
    {1, 4, 20, VendorText},      {1, 5, 8, ControllerText},   {2, 1, 12, AcpiText},
    {3, 1, 6, AtapiText},        {3, 2, 8, ScsiText},         {3, 3, 24, FibreText},
    {3, 4, 16, SkeinText},       {3, 5, 6, UsbText},          {3, 6, 8, I2oText},
    {3, 9, 4, InfiniBandText},   {3, 10, 20, VendorText},     {3, 11, 37, MacText},
    {3, 12, 16, Ipv4Text},       {3, 13, 4, Ipv6Text},        {3, 14, 19, UartText},
    {3, 15, 11, UsbClassText},   {3, 16, 10, SkeinUnitText},  {3, 18, 8, SataText},
    {3, 22, 16, NvmeText},       {4, 1, 42, HardDriveText},   {4, 2, 8, CdromText},
    {4, 3, 20, VendorText},      {4, 4, 4, FilePathText},     {4, 5, 20, GuidText},
    {4, 6, 20, GuidText},        {5, 1, 6, LegacyText},       {127, 1, 4, EndInstanceText},
};

auto NodeTextFunction(ByteSpan node) {
  UINT8 type = static_cast<UINT8>(Byte(node, 0) & 0x7F);
  UINT8 subtype = static_cast<UINT8>(Byte(node, 1));
  for (const NodeFormat& format : kNodeFormats) {
    if (format.type != type || format.subtype != subtype) continue;
    return node.size() >= format.min_length ? format.text : UnknownText;
  }
  return UnknownText;
}

}  // namespace

namespace {

// ---- The growing text ------------------------------------------------------------------------

// Appends fragment when it fits; EFI_BUFFER_TOO_SMALL when it does not.
EFI_STATUS AppendText(PoolText* text, const CHAR16* fragment, UINTN fragment_bytes) {
  text->MaxLength = kPoolTextMaxLength;
  UINTN combined = text->Length + fragment_bytes + sizeof(CHAR16);
  if (combined > kPoolTextMaxLength - 1) return EFI_BUFFER_TOO_SMALL;
  CHAR16* grown = static_cast<CHAR16*>(PoolAllocate(combined));
  if (!grown) return EFI_OUT_OF_RESOURCES;
  if (text->Text) MemCopy(grown, text->Text, text->Length);
  MemCopy(reinterpret_cast<UINT8*>(grown) + text->Length, fragment, fragment_bytes);
  grown[(text->Length + fragment_bytes) / sizeof(CHAR16)] = 0;
  PoolFree(text->Text);
  text->Text = grown;
  text->Length += fragment_bytes;
  return EFI_SUCCESS;
}

EFI_STATUS CatPrintStatus(PoolText* text, const CHAR16* format, va_list args) {
  CHAR16* scratch = static_cast<CHAR16*>(PoolAllocate(kScratchBytes));
  if (!scratch) return EFI_OUT_OF_RESOURCES;
  UINTN chars = UnicodeVSPrint(scratch, kScratchBytes, format, args) - 1;
  EFI_STATUS status = AppendText(text, scratch, chars * sizeof(CHAR16));
  PoolFree(scratch);
  return status;
}

EFI_STATUS CatPrintChecked(PoolText* text, const CHAR16* format, ...) {
  va_list args;
  va_start(args, format);
  EFI_STATUS status = CatPrintStatus(text, format, args);
  va_end(args);
  return status;
}

// ---- The aligned copy ------------------------------------------------------------------------

UINTN RoundUp4(UINTN n) { return (n + 3) & ~UINTN{3}; }

// A node whose rounded length would not fit the 16-bit length field ends the copy.
bool CopyableNodeAt(ByteSpan source, size_t offset, ByteSpan* node) {
  return DevicePathNodeAt(source, offset, node) && RoundUp4(node->size()) <= 0xFFFF;
}

// Every node starts on a 4-byte boundary in the copy, its length rounded up to a multiple of 4
// (zero-filled) and bit 7 of its type set; an end node closes the copy even when the source
// had none within its bytes.
UINT8* AlignedCopy(ByteSpan source, UINTN* copy_size) {
  UINTN size = 4;
  ByteSpan node;
  for (size_t offset = 0; CopyableNodeAt(source, offset, &node); offset += node.size()) size += RoundUp4(node.size());
  UINT8* copy = static_cast<UINT8*>(PoolAllocateZero(size));
  if (!copy) return nullptr;
  UINT8* out = copy;
  for (size_t offset = 0; CopyableNodeAt(source, offset, &node); offset += node.size()) {
    MemCopy(out, node.data(), node.size());
    out[0] |= 0x80;
    StoreLe16(out + 2, static_cast<UINT16>(RoundUp4(node.size())));
    out += RoundUp4(node.size());
  }
  out[0] = 0x80 | END_DEVICE_PATH_TYPE;
  out[1] = END_ENTIRE_DEVICE_PATH_SUBTYPE;
  StoreLe16(out + 2, 4);
  *copy_size = size;
  return copy;
}

// One fragment per node of the copy, each with its "/" so that it is appended whole or not at all.
EFI_STATUS AppendNodes(ByteSpan copy, PoolText* text) {
  ByteSpan node;
  for (size_t offset = 0; DevicePathNodeAt(copy, offset, &node); offset += node.size()) {
    bool end_of_instance = (Byte(node, 0) & 0x7F) == END_DEVICE_PATH_TYPE && Byte(node, 1) == END_INSTANCE_DEVICE_PATH_SUBTYPE;
    Fragment fragment;
    NodeTextFunction(node)(node, &fragment);
    const CHAR16* separator = (!end_of_instance && text->Length) ? u"/" : u"";
    EFI_STATUS status = CatPrintChecked(text, u"%s%s", separator, fragment.text);
    if (status == EFI_BUFFER_TOO_SMALL) return EFI_SUCCESS;  // the text ends at the last node that fitted
    if (EFI_ERROR(status)) return status;
  }
  return EFI_SUCCESS;
}

// Trims the text to its length and terminator; an empty text becomes an empty string.
CHAR16* FinishText(PoolText* text) {
  CHAR16* result = static_cast<CHAR16*>(PoolAllocate(text->Length + sizeof(CHAR16)));
  if (!result) return text->Text;  // the untrimmed text is still a whole string (or null)
  if (text->Text) MemCopy(result, text->Text, text->Length);
  result[text->Length / sizeof(CHAR16)] = 0;
  PoolFree(text->Text);
  return result;
}

}  // namespace

CHAR16* CatPrint(PoolText* text, const CHAR16* format, ...) {
  va_list args;
  va_start(args, format);
  CatPrintStatus(text, format, args);
  va_end(args);
  return text->Text;
}

CHAR16* DevicePathToTextBounded(const void* path, UINTN max_bytes) {
  UINTN copy_size = 0;
  UINT8* copy = AlignedCopy(ByteSpan(path, path ? max_bytes : 0), &copy_size);
  if (!copy) return nullptr;
  PoolText text{nullptr, 0, kPoolTextMaxLength};
  EFI_STATUS status = AppendNodes(ByteSpan(copy, copy_size), &text);
  PoolFree(copy);
  if (EFI_ERROR(status)) {
    PoolFree(text.Text);
    return nullptr;
  }
  return FinishText(&text);
}

CHAR16* DevicePathToText(const EFI_DEVICE_PATH_PROTOCOL* path) {
  return DevicePathToTextBounded(path, kDevicePathMaxBytes);
}

void DevicePathTextCallback(const EFI_DEVICE_PATH_PROTOCOL* path, UINT32 width, AsciiSink sink, void* context) {
  UINT32 n = 0;
  if (CHAR16* text = DevicePathToText(path)) {
    // The 8-bit sink takes Latin-1; anything beyond shows as "?".
    for (; text[n]; ++n) sink(text[n] <= 0xFF ? static_cast<char>(text[n]) : '?', context);
    PoolFree(text);
  }
  if (width > kAsciiMaxWidth) width = kAsciiMaxWidth;
  for (; n < width; ++n) sink(' ', context);
}
