// `hearth-source network`: hearth is the boot file of the network's boot service (PXE: DHCP
// names it, TFTP carries it), loaded through the load-file protocol of the network device as
// a firmware boot manager loads a network boot option.
#pragma once

#include "efi/efi.h"

// The first load-file handle whose device path holds a MAC-address node (an IPv4 one
// preferred). EFI_NOT_FOUND when the machine has none.
EFI_STATUS FindNetworkBootSource(EFI_HANDLE* source);

// Loads the boot file through that handle (boot policy: the boot file itself) and starts it.
EFI_STATUS LoadAndStartFromNetwork(EFI_HANDLE source, EFI_STATUS* exit_status);
