// The "ROM" and "MLB" identity variables, filled from the firmware's marker area when the
// firmware has not set them itself.
#pragma once

void StoreFirmwareIdentity();
