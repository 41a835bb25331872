#include "verify/chunk_signature.h"

#include "efi/efi.h"
#include "efi/protocols/tarn_signature.h"
#include "crypto/sha256.h"

EFI_STATUS ChunkListVerifySignature(ByteSpan list, const ChunkListInfo& info) {
  UINT8 digest[kSha256DigestSize];
  Sha256(list.data(), static_cast<size_t>(info.signed_size), digest);
  TarnSignatureProtocol* service = nullptr;
  EFI_STATUS status =
      gBS->LocateProtocol(&kTarnSignatureProtocolGuid, nullptr, reinterpret_cast<void**>(&service));
  if (EFI_ERROR(status)) return status;
  if (!service) return EFI_NOT_FOUND;
  status = EFI_SECURITY_VIOLATION;
  for (UINTN i = 0; i <= info.additional_signatures; ++i) {
    ByteSpan signature;
    if (!ChunkListSignature(list, info, i, &signature)) break;
    status = service->VerifySignature(service, &kEfiCertTypeRsa2048Sha256Guid, digest, sizeof(digest),
                                      signature.data(), signature.size());
    if (!EFI_ERROR(status)) break;
  }
  return status;
}

EFI_STATUS ChunkListValidate(ByteSpan list) {
  ChunkListInfo info;
  EFI_STATUS status = ChunkListParse(list, &info);
  if (EFI_ERROR(status)) return status;
  return ChunkListVerifySignature(list, info);
}
