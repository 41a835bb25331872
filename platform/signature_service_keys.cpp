// The signature stand-in's keys: the "signing-key" lines of the loader's settings file.
#include "efi/protocols/loaded_image.h"
#include "platform/serial_output.h"
#include "platform/settings.h"
#include "platform/signature_service.h"
#include "platform/volume_files.h"

namespace {

constexpr UINTN kMaxSettingsSize = 1024 * 1024;

void OnSigningKey(void*, const SettingsSigningKey& key) {
  EFI_STATUS status = SignatureServiceAddKey(key.name, key.name_length, key.modulus, key.modulus_size);
  PlatformText text;
  text.Add("platform: signing key ").Add(key.name, key.name_length);
  SerialWriteLine(EFI_ERROR(status) ? text.Add(" not added: ").AddStatus(status) : text.Add(" added"));
}

EFI_STATUS ReadSettings(PoolBuffer* text, UINTN* size) {
  EFI_LOADED_IMAGE_PROTOCOL* image = nullptr;
  EFI_STATUS status = gBS->HandleProtocol(gImageHandle, &kEfiLoadedImageProtocolGuid, reinterpret_cast<void**>(&image));
  if (EFI_ERROR(status)) return status;
  if (!image || !image->DeviceHandle) return EFI_NOT_FOUND;
  return ReadVolumeFile(image->DeviceHandle, kSettingsPath, kMaxSettingsSize, text, size);
}

}  // namespace

EFI_STATUS InstallSignatureServiceFromSettings() {
  PoolBuffer text, scratch;
  UINTN size = 0;
  EFI_STATUS status = ReadSettings(&text, &size);
  if (!EFI_ERROR(status)) status = scratch.Allocate(SettingsScratchSize(size));
  if (EFI_ERROR(status)) return status;
  // The settings pass reports malformed lines; this one only collects the keys.
  SettingsSink sink{nullptr, nullptr, nullptr, nullptr, nullptr, OnSigningKey};
  ParsePlatformSettings(ByteSpan(text.get(), size), SettingsScratch{scratch.get<uint8_t>(), SettingsScratchSize(size)},
                        sink);
  status = InstallSignatureService();
  if (!EFI_ERROR(status)) SerialWriteLine(PlatformText().Add("platform: signature service installed"));
  return status;
}
