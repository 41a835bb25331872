// Where the image verification service comes from: the firmware's, or the booter's own.
#pragma once

#include "efi/protocols/tarn_image_verification.h"

// The firmware's service when it has one, else the booter's own instance (set up on first
// use: the multiprocessor services, when present, give it the application processors).
[[nodiscard]] EFI_STATUS ImageVerificationLocate(TarnImageVerificationProtocol** service);

// The booter's own instance, whatever the firmware offers.
TarnImageVerificationProtocol* ImageVerificationBuiltIn();
