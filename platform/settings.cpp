#include "platform/settings.h"

#include "efi/protocols/loaded_image.h"
#include "memory/owners.h"
#include "platform/audio_service.h"
#include "platform/beep_service.h"
#include "platform/firmware_pictures.h"
#include "platform/block_read_service.h"
#include "platform/input_events.h"
#include "platform/serial_output.h"
#include "platform/signature_service.h"
#include "platform/smc_service.h"
#include "platform/variable_setter.h"
#include "platform/volume_files.h"

namespace {

// A settings file is a few lines of text; anything this large is not one.
constexpr UINTN kMaxSettingsSize = 1024 * 1024;

void OnVariable(void*, const SettingsVariable& variable) { (void)SetSettingsVariable(variable); }

void OnExitQemu(void* context, QemuExitPolicy policy) { static_cast<PlatformOptions*>(context)->exit_qemu = policy; }

void OnSmcKey(void*, const SettingsSmcKey& key) {
  EFI_STATUS status = SmcServiceSetKey(key.key, key.value, key.value_size);
  char name[5];
  SmcServiceKeyName(key.key, name);
  PlatformText line;
  line.Add("platform: smc ").Add(name);
  if (EFI_ERROR(status)) {
    line.Add(" not set: ").AddStatus(status);
  } else {
    line.Add(" set (").AddDecimal(key.value_size).Add(key.value_size == 1 ? " byte)" : " bytes)");
  }
  SerialWriteLine(line);
}

void OnSmcSchedule(void*, const SettingsSmcSchedule& schedule) {
  EFI_STATUS status =
      SmcServiceSchedule(schedule.key, schedule.seconds, schedule.values, schedule.value_size, schedule.count);
  char name[5];
  SmcServiceKeyName(schedule.key, name);
  PlatformText line;
  line.Add("platform: smc ").Add(name);
  if (EFI_ERROR(status)) {
    line.Add(" not scheduled: ").AddStatus(status);
  } else {
    line.Add(" scheduled (").AddDecimal(schedule.count).Add(" values, every ").AddDecimal(schedule.seconds).Add(" s)");
  }
  SerialWriteLine(line);
}

void OnSigningKey(void*, const SettingsSigningKey& key) {
  EFI_STATUS status = SignatureServiceAddKey(key.name, key.name_length, key.modulus, key.modulus_size);
  PlatformText text;
  text.Add("platform: signing key ").Add(key.name, key.name_length);
  SerialWriteLine(EFI_ERROR(status) ? text.Add(" not added: ").AddStatus(status) : text.Add(" added"));
}

void OnInputEvents(void*, uint64_t revision) { InputEventsRequest(UINTN(revision)); }
void OnKeyMap(void*) { KeyMapRequest(); }
void OnSimplePointer(void*) { SimplePointerRequest(); }

PlatformOptions* Options(void* context) { return static_cast<PlatformOptions*>(context); }

void OnConsoleStart(void* context, bool graphics) { Options(context)->console_graphics = graphics; }

void OnBackgroundColor(void* context, BackgroundColorMode mode, uint32_t rgb) {
  Options(context)->background = mode;
  Options(context)->background_rgb = rgb;
}

void OnGopMode(void* context, uint32_t width, uint32_t height) {
  Options(context)->gop_width = width;
  Options(context)->gop_height = height;
}

void OnHearthSource(void* context, bool network) { Options(context)->hearth_from_network = network; }

void OnNetworkLatency(void* context, uint32_t ms) { Options(context)->network_latency_ms = ms; }

void OnAudio(void*, uint32_t ms) { AudioServiceRequest(ms ? ms : kAudioDefaultPlayMilliseconds); }
void OnBeep(void*) { BeepServiceRequest(); }
void OnFirmwarePicture(void*, const SettingsFirmwarePicture& picture) {
  if (EFI_ERROR(FirmwarePictureRequest(picture))) {
    SerialWriteLine(PlatformText().Add("platform: firmware picture ").Add(picture.name).Add(" refused: too many"));
  }
}
void OnBlockRead(void*) { BlockReadRequest(); }

void OnMalformed(void*, size_t line, const char* reason) {
  PlatformText text;
  SerialWriteLine(text.Add("platform: platform.cfg line ").AddDecimal(line).Add(": ").Add(reason).Add(", skipped"));
}

EFI_STATUS OwnVolume(EFI_HANDLE* volume) {
  EFI_LOADED_IMAGE_PROTOCOL* image = nullptr;
  EFI_STATUS status = gBS->HandleProtocol(gImageHandle, &kEfiLoadedImageProtocolGuid, reinterpret_cast<void**>(&image));
  if (EFI_ERROR(status)) return status;
  if (!image || !image->DeviceHandle) return EFI_NOT_FOUND;
  *volume = image->DeviceHandle;
  return EFI_SUCCESS;
}

}  // namespace

EFI_STATUS ApplyPlatformSettings(PlatformOptions* options) {
  EFI_HANDLE volume = nullptr;
  PoolBuffer text;
  UINTN size = 0;
  EFI_STATUS status = OwnVolume(&volume);
  if (!EFI_ERROR(status)) status = ReadVolumeFile(volume, kSettingsPath, kMaxSettingsSize, &text, &size);
  if (status == EFI_NOT_FOUND) {
    SerialWriteLine(PlatformText().Add("platform: no platform.cfg, running with defaults"));
    return EFI_SUCCESS;
  }
  if (EFI_ERROR(status)) {
    SerialWriteLine(PlatformText().Add("platform: cannot read platform.cfg: ").AddStatus(status));
    return status;
  }
  PoolBuffer scratch;
  if ((status = scratch.Allocate(SettingsScratchSize(size))) != EFI_SUCCESS) return status;
  SettingsSink sink{options,         OnVariable,        OnExitQemu, OnMalformed,    OnSmcKey,
                    OnSigningKey,    OnInputEvents,     OnKeyMap,   OnSimplePointer, OnConsoleStart,
                    OnBackgroundColor, OnGopMode,       OnHearthSource, OnNetworkLatency, OnSmcSchedule};
  sink.audio = OnAudio;
  sink.beep = OnBeep;
  sink.firmware_picture = OnFirmwarePicture;
  sink.block_read = OnBlockRead;
  ParsePlatformSettings(ByteSpan(text.get(), size), SettingsScratch{scratch.get<uint8_t>(), SettingsScratchSize(size)},
                        sink);
  return EFI_SUCCESS;
}
