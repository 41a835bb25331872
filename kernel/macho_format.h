// Byte layout of the 64-bit little-endian Mach-O images the kernel arrives in: field offsets
// and the values the loader acts on. The host-side writer uses the same table.
#pragma once

#include "efi/types.h"

constexpr UINT32 kMachOMagic32 = 0xFEEDFACE;
constexpr UINT32 kMachOMagic64 = 0xFEEDFACF;
constexpr UINT32 kMachOCpuTypeX86_64 = 0x01000007;
constexpr UINT32 kMachOFileTypeExecute = 2;
constexpr UINT32 kMachOFlagNoUndefinedSymbols = 0x1;
constexpr UINT32 kMachOFlagPositionIndependent = 0x200000;

// Header: magic, CPU type, CPU subtype, file type, command count, commands size, flags, reserved.
constexpr UINTN kMachOHeaderMagic = 0;
constexpr UINTN kMachOHeaderCpuType = 4;
constexpr UINTN kMachOHeaderCpuSubtype = 8;
constexpr UINTN kMachOHeaderFileType = 12;
constexpr UINTN kMachOHeaderCommandCount = 16;
constexpr UINTN kMachOHeaderCommandsSize = 20;
constexpr UINTN kMachOHeaderFlags = 24;
constexpr UINTN kMachOHeaderSizeWithoutReserved = 28;
constexpr UINTN kMachOHeaderSize = 32;

// Every load command starts with its code and its size in bytes.
constexpr UINTN kLoadCommandCode = 0;
constexpr UINTN kLoadCommandSize = 4;
constexpr UINTN kLoadCommandHeaderSize = 8;
constexpr UINT32 kLcSymtab = 2;
constexpr UINT32 kLcUnixThread = 5;
constexpr UINT32 kLcDysymtab = 11;
constexpr UINT32 kLcSegment64 = 25;

// LC_SEGMENT_64, followed by its section records.
constexpr UINTN kSegmentName = 8;
constexpr UINTN kSegmentNameLength = 16;
constexpr UINTN kSegmentAddress = 24;
constexpr UINTN kSegmentVirtualSize = 32;
constexpr UINTN kSegmentFileOffset = 40;
constexpr UINTN kSegmentFileSize = 48;
constexpr UINTN kSegmentMaxProtection = 56;
constexpr UINTN kSegmentInitProtection = 60;
constexpr UINTN kSegmentSectionCount = 64;
constexpr UINTN kSegmentFlags = 68;
constexpr UINTN kSegmentCommandSize = 72;
constexpr UINT32 kVmProtRead = 0x1;
constexpr UINT32 kVmProtWrite = 0x2;
constexpr UINT32 kVmProtExecute = 0x4;

// Section record: section name, segment name, address, size, file offset, alignment,
// relocation offset and count, flags, three reserved words.
constexpr UINTN kSectionName = 0;
constexpr UINTN kSectionSegmentName = 16;
constexpr UINTN kSectionAddress = 32;
constexpr UINTN kSectionSize = 40;
constexpr UINTN kSectionFileOffset = 48;
constexpr UINTN kSectionAlignment = 52;
constexpr UINTN kSectionFlags = 64;
constexpr UINTN kSectionRecordSize = 80;

// LC_UNIXTHREAD: flavor, count of 32-bit words, then the thread state.
constexpr UINTN kThreadFlavor = 8;
constexpr UINTN kThreadCount = 12;
constexpr UINTN kThreadState = 16;
constexpr UINT32 kThreadFlavorX86_64 = 4;
constexpr UINT32 kThreadStateWords64 = 42;
constexpr UINTN kThreadInstructionPointer = 144;  // rip of the 64-bit state, from the command start
constexpr UINTN kThreadCommandSize64 = kThreadState + kThreadStateWords64 * 4;

// LC_SYMTAB and its 16-byte symbol records.
constexpr UINTN kSymtabSymbolOffset = 8;
constexpr UINTN kSymtabSymbolCount = 12;
constexpr UINTN kSymtabStringOffset = 16;
constexpr UINTN kSymtabStringSize = 20;
constexpr UINTN kSymtabCommandSize = 24;
constexpr UINTN kSymbolNameIndex = 0;
constexpr UINTN kSymbolType = 4;
constexpr UINTN kSymbolSection = 5;
constexpr UINTN kSymbolDescription = 6;
constexpr UINTN kSymbolValue = 8;
constexpr UINTN kSymbolRecordSize = 16;
constexpr UINT8 kSymbolDebugTypes = 0x20;  // type bytes at or above this are debugging entries

// LC_DYSYMTAB: only the local relocations matter to the loader.
constexpr UINTN kDysymtabLocalRelocationOffset = 72;
constexpr UINTN kDysymtabLocalRelocationCount = 76;
constexpr UINTN kDysymtabCommandSize = 80;

// Relocation record: signed 32-bit address, then a word whose top byte holds the
// PC-relative bit, the length, the external bit and the type.
constexpr UINTN kRelocationAddress = 0;
constexpr UINTN kRelocationInfo = 4;
constexpr UINTN kRelocationRecordSize = 8;
// Not PC-relative, 8 bytes long, not external, type 0: a plain pointer that moves with the image.
constexpr UINT8 kRelocationLocalPointer64 = 0x06;
