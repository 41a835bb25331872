// Which board this is: the "HW_BID" variable, or the baseboard product in SMBIOS.
#pragma once

#include "efi/types.h"

constexpr UINTN kBoardIdSize = 65;  // up to 64 characters and a NUL

// Reads the board id; an empty string when there is none.
void ReadBoardId(char board_id[kBoardIdSize]);

// On the boards whose displays stay dark until connected (and whose "epid_provisioned"
// variable is absent), asks the display-connect protocol to connect everything.
void ConnectDisplaysForBoard(const char* board_id);

// The board id read at start (empty until then).
const char* BoardId();
// Reads and keeps the board id, then connects displays where the board needs it.
void IdentifyBoard();
