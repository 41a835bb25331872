// Files of the network boot beyond the boot file. A firmware's PXE load-file protocol hands
// out only the boot file; the maker's firmware also serves the files a network-booted loader
// asks for by path (its kernel cache). This stand-in wraps the network device's load-file
// protocol: boot-policy requests go to the firmware as before, requests for a file path are
// read from the same TFTP server through the PXE base code protocol ("\" becomes "/").
// Each file request is reported on the serial port.
#pragma once

#include "efi/efi.h"

// Wraps the load-file protocol on source (a handle FindNetworkBootSource chose). Each file
// read first waits latency_ms, as over a slow network (0: none).
EFI_STATUS InstallNetworkFiles(EFI_HANDLE source, UINT32 latency_ms);
// Puts the firmware's protocol back.
void RemoveNetworkFiles();

// The TFTP name of a file-path device-path node's text: "\" to "/", no leading separator,
// characters outside printable ASCII refused. False when it does not fit name (size bytes).
bool NetworkFileName(const CHAR16* path, UINTN path_chars, char* name, UINTN size);
