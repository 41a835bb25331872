// The signature check of a chunk list, through the firmware's signature service.
#pragma once

#include "verify/chunk_list.h"

// SHA-256 of the signed bytes, verified against the first signature, then each next one up
// to the number of additional signatures, until one is accepted. Returns the last answer of
// the signature service (its LocateProtocol status when there is none);
// EFI_SECURITY_VIOLATION when not even the first signature lies inside the list.
[[nodiscard]] EFI_STATUS ChunkListVerifySignature(ByteSpan list, const ChunkListInfo& info);

// The magic, the layout and the signature: what the service's validate operation answers.
[[nodiscard]] EFI_STATUS ChunkListValidate(ByteSpan list);
