// The maker's signature service: checks an RSA signature over a digest the caller computed,
// against the public keys the firmware trusts. Provided by the platform firmware.
#pragma once

#include "efi/protocols/tarn_protocol.h"
#include "efi/types.h"

constexpr EFI_GUID kTarnSignatureProtocolGuid = {0x9D7B16E6, 0x3473, 0x4035, {0xBA, 0x63, 0x7D, 0x6A, 0x3B, 0xA3, 0x94, 0x98}};

// The UEFI certificate type of an RSA-2048 PKCS#1 v1.5 signature over a SHA-256 digest.
constexpr EFI_GUID kEfiCertTypeRsa2048Sha256Guid = {0xA7717414, 0xC616, 0x4977, {0x94, 0x20, 0x84, 0x47, 0x12, 0xA7, 0x35, 0xBF}};

constexpr UINT64 kTarnSignatureProtocolRevision = 1;

struct TarnSignatureProtocol;

// EFI_SUCCESS when one trusted key verifies Signature over Digest; EFI_SECURITY_VIOLATION
// when none does; EFI_UNSUPPORTED for a certificate type or digest size it does not know;
// EFI_INVALID_PARAMETER for missing buffers.
typedef EFI_STATUS(EFIAPI* TarnVerifySignature)(TarnSignatureProtocol* This, const EFI_GUID* CertificateType,
                                                const UINT8* Digest, UINTN DigestSize, const UINT8* Signature,
                                                UINTN SignatureSize);

struct TarnSignatureProtocol {
  UINT64 Revision;
  TarnVerifySignature VerifySignature;
};
static_assert(sizeof(TarnSignatureProtocol) == 16);
static_assert(offsetof(TarnSignatureProtocol, VerifySignature) == 8);
TARN_OPERATION_AFTER(TarnSignatureProtocol, 8, VerifySignature, 1);
