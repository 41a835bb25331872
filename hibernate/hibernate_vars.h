// The variables that announce a hibernation image: the 44-byte record or its two halves,
// the image key the loader keeps while a resume is pending, and the record written back when
// the user leaves the login window with a resume still pending.
#pragma once

#include "efi/types.h"
#include "lib/span.h"

constexpr UINTN kHibernateVarsSize = 44;
constexpr UINTN kImageKeySize = 16;
constexpr UINTN kBootSignatureSize = 20;
constexpr UINT32 kHibernateVarsRevision = 1;

struct HibernateVars {
  UINT8 signature[4];  // "TARN"
  UINT32 revision;
  UINT8 boot_signature[kBootSignatureSize];
  UINT8 image_key[kImageKeySize];
};
static_assert(sizeof(HibernateVars) == kHibernateVarsSize);

// Takes the record from "boot-switch-vars", else builds it from "boot-signature" and
// "boot-image-key"; every variable read is deleted, the halves are left alone when the record
// exists. EFI_NOT_FOUND when there is no key (no resume).
EFI_STATUS TakeHibernateVars(HibernateVars* vars);

// Decodes a "boot-switch-vars" value; false when it is not exactly 44 bytes.
bool ParseHibernateVars(ByteSpan bytes, HibernateVars* vars);

// The image key state: the record the resume runs with. A length of 0: nothing pending.
void RememberHibernateVars(const HibernateVars& vars);
UINTN PendingImageKeyLength();
const UINT8* PendingImageKey();
void ForgetHibernateVars();

// Writes "IOHibernateRTCVariables" (non-volatile only; with boot-service and runtime access
// too when the firmware refuses that) when a resume is pending, so that the operating system
// finds its image again after a restart from the login window.
EFI_STATUS SaveHibernateVars();
