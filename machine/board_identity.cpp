#include "machine/board_identity.h"

#include "flags/guids.h"
#include "efi/efi.h"
#include "efi/protocols/tarn_display_connect.h"
#include "machine/smbios.h"
#include "lib/host_reset.h"
#include "lib/mem.h"
#include "lib/string.h"

namespace {

char gBoardId[kBoardIdSize];

void ResetBoardId() { MemZero(gBoardId, sizeof(gBoardId)); }
HEARTH_HOST_RESET(ResetBoardId);

// Boards whose firmware leaves the displays unconnected until asked.
const char* const kConnectAllBoards[10] = {
    "Tarn-B01-7F3A", "Tarn-B02-19C4", "Tarn-B03-5E21", "Tarn-B04-A0D7", "Tarn-B05-3B68",
    "Tarn-B06-C912", "Tarn-B07-44EF", "Tarn-B08-8D05", "Tarn-B09-E6B3", "Tarn-B10-2A9C",
};

bool ReadBoardIdVariable(char board_id[kBoardIdSize]) {
  UINTN size = kBoardIdSize - 1;
  EFI_STATUS status = gRT->GetVariable(u"HW_BID", &TarnVendorGuid, nullptr, &size, board_id);
  if (EFI_ERROR(status) || size == 0 || size > kBoardIdSize - 1) return false;
  board_id[size] = 0;
  return true;
}

bool ReadBaseboardProduct(char board_id[kBoardIdSize]) {
  ByteSpan table;
  if (!SmbiosFindTable(&table)) return false;
  SmbiosStructure s;
  for (UINTN offset = 0; SmbiosNextStructure(table, &offset, &s);) {
    if (s.type != 2) continue;
    UINTN length = 0;
    const char* product = SmbiosFieldString(s, 5, &length);  // type 2 offset 5: product
    if (!product) continue;
    if (length > 63) length = 63;
    MemCopy(board_id, product, length);
    board_id[length] = 0;
    return true;
  }
  return false;
}

}  // namespace

void ReadBoardId(char board_id[kBoardIdSize]) {
  MemZero(board_id, kBoardIdSize);
  if (ReadBoardIdVariable(board_id)) return;
  MemZero(board_id, kBoardIdSize);
  ReadBaseboardProduct(board_id);
}

void ConnectDisplaysForBoard(const char* board_id) {
  if (!board_id[0]) return;
  bool listed = false;
  for (const char* board : kConnectAllBoards) listed = listed || AsciiStrCmp(board, board_id) == 0;
  if (!listed) return;
  UINTN size = 0;
  if (gRT->GetVariable(u"epid_provisioned", &kEfiGlobalVariableGuid, nullptr, &size, nullptr) != EFI_NOT_FOUND) {
    return;
  }
  void* interface = nullptr;
  if (EFI_ERROR(gBS->LocateProtocol(&kTarnDisplayConnectProtocolGuid, nullptr, &interface)) || !interface) return;
  auto* connect = static_cast<TarnDisplayConnectProtocol*>(interface);
  connect->ConnectAll(connect);
}

const char* BoardId() { return gBoardId; }

void IdentifyBoard() {
  ReadBoardId(gBoardId);
  ConnectDisplaysForBoard(gBoardId);
}
