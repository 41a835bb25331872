// ACPI tables the hand-off reads: found through the root pointer and walked within their
// stated lengths.
#pragma once

#include "efi/types.h"

// The first table whose signature matches ("FACP", "MCFG", ...), or null. The ACPI 2.0 root
// pointer is preferred; revision 0 walks the RSDT, revision 2 and later the XSDT.
const UINT8* AcpiFindTable(const char signature[4]);

// The length a table header states, or 0 when the header is implausible.
UINT32 AcpiTableLength(const UINT8* table);

// The FACS hardware signature (4 bytes at offset 8), through the FADT. False when absent.
bool AcpiMachineSignature(UINT32* signature);

// The DSDT through the FADT (64-bit pointer from FADT revision 3 on), or null.
const UINT8* AcpiFindDsdt();

// The first MCFG allocation (revision 1 tables only). False when absent.
bool AcpiPciConfig(UINT64* base, UINT32* start_bus, UINT32* end_bus);

// "OEMTABLEID" cut at its first space followed by "%d,%d" of the OEM revision halves, from
// the DSDT; empty when there is none. out holds at most size - 1 characters.
void AcpiModelFromDsdt(char* out, UINTN size);
