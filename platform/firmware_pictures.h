// Pictures "in the firmware" on generic firmware (`firmware-picture NAME PATH` in
// platform.cfg): a firmware-volume protocol whose one firmware file of interest is the
// "GuidList" picture directory {1A10742F-FA80-4B79-9DA6-357058CC397B}, a raw section of
// 80-byte records (file GUID, UCS-2 name) that names each picture, and one file per picture
// holding its PNG bytes as a raw section. The login screen's pointer comes from there. Every
// section read is reported ("platform: firmware pictures: read loginui_cursor (1234 bytes)").
#pragma once

#include "efi/efi.h"
#include "platform/settings_parser.h"

// The directory's firmware file.
constexpr EFI_GUID kFirmwarePictureDirectoryGuid = {
    0x1A10742F, 0xFA80, 0x4B79, {0x9D, 0xA6, 0x35, 0x70, 0x58, 0xCC, 0x39, 0x7B}};
constexpr UINTN kFirmwarePicturesMax = 8;

// Remembers a picture for InstallFirmwarePictures; at most kFirmwarePicturesMax (later ones
// are refused with EFI_OUT_OF_RESOURCES).
EFI_STATUS FirmwarePictureRequest(const SettingsFirmwarePicture& picture);

// Reads the requested pictures from the loader's volume and installs the protocol; nothing
// when none was requested (EFI_NOT_FOUND). A picture that cannot be read is reported and
// left out of the directory.
EFI_STATUS InstallFirmwarePictures();
void RemoveFirmwarePictures();
