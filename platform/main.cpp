// The platform loader: generic UEFI firmware starts it as \EFI\BOOT\BOOTX64.EFI. It stands in
// for the maker's firmware protocols hearth expects, sets the firmware variables its settings
// file lists, finds hearth on the machine's volumes, starts it and reports what it returned.
#include "efi/efi.h"
#include "platform/console_control.h"
#include "platform/display_services.h"
#include "platform/image_codec.h"
#include "platform/network_files.h"
#include "platform/network_start.h"
#include "platform/image_starter.h"
#include "platform/input_events.h"
#include "platform/qemu_exit.h"
#include "platform/serial_output.h"
#include "platform/settings.h"
#include "platform/smc_service.h"
#include "platform/signature_service.h"

namespace {

// How long the loader waits for the harness's key before it ends QEMU anyway.
constexpr UINTN kExitKeyTimeoutSeconds = 30;

void InstallDisplayStandIns(const PlatformOptions& options) {
  if (options.gop_width) SelectGopMode(options.gop_width, options.gop_height);
  InstallDisplayConnect();
  InstallFramebufferInfo();
  InstallGamma();
  InstallImageCodec();
  if (!EFI_ERROR(InstallBackgroundColor(options.background, options.background_rgb))) {
    PlatformText line;
    line.Add("platform: background colour ");
    if (options.background == BackgroundColorMode::kFailing) {
      line.Add("protocol fails");
    } else {
      line.AddHex(options.background_rgb, 6);
    }
    SerialWriteLine(line);
  }
}

void InstallStandIns(const PlatformOptions& options) {
  InstallDisplayStandIns(options);
  EFI_STATUS status = InstallConsoleControl(options.console_graphics);
  if (EFI_ERROR(status)) {
    SerialWriteLine(PlatformText().Add("platform: console control not installed: ").AddStatus(status));
  }
  status = InstallSmcService();  // only when the settings named SMC keys
  if (EFI_ERROR(status) && status != EFI_NOT_FOUND) {
    SerialWriteLine(PlatformText().Add("platform: SMC not installed: ").AddStatus(status));
  }
  InstallInputStandIns();  // only what the settings asked for
  // The settings have handed the stand-in its keys by now.
  status = InstallSignatureService();
  if (!EFI_ERROR(status)) SerialWriteLine(PlatformText().Add("platform: signature service installed"));
}

// Finds and runs hearth; returns the status the loader ends with.
EFI_STATUS RunHearth(const PlatformOptions& options) {
  EFI_HANDLE source = nullptr;
  EFI_STATUS status = options.hearth_from_network ? FindNetworkBootSource(&source)
                                                  : FindFileOnVolumes(kHearthPath, &source);
  if (EFI_ERROR(status)) {
    ReportLine(PlatformText()
                   .Add(options.hearth_from_network ? "platform: no network boot source: "
                                                    : "platform: hearth.efi not found on any volume: ")
                   .AddStatus(status));
    return status;
  }
  SerialWriteLine(PlatformText().Add(options.hearth_from_network ? "platform: starting hearth from the network"
                                                                 : "platform: starting hearth"));
  if (options.hearth_from_network) {
    EFI_STATUS files = InstallNetworkFiles(source, options.network_latency_ms);
    if (EFI_ERROR(files)) SerialWriteLine(PlatformText().Add("platform: network files not served: ").AddStatus(files));
  }
  EFI_STATUS hearth_status = EFI_SUCCESS;
  status = options.hearth_from_network ? LoadAndStartFromNetwork(source, &hearth_status)
                                       : LoadAndStartImage(source, kHearthPath, &hearth_status);
  RemoveConsoleControl();  // the report below must reach the screen
  if (EFI_ERROR(status)) {
    ReportLine(PlatformText().Add("platform: could not start hearth: ").AddStatus(status));
    if (const char* reason = ImageRefusalReason(status)) {
      ReportLine(PlatformText().Add("platform: Secure Boot refused hearth: ").Add(reason));
    }
    return status;
  }
  ReportLine(PlatformText().Add("platform: hearth returned ").AddStatus(hearth_status));
  return hearth_status;
}

}  // namespace

extern "C" EFI_STATUS EFIAPI efi_main(EFI_HANDLE image_handle, EFI_SYSTEM_TABLE* system_table) {
  gImageHandle = image_handle;
  gST = system_table;
  gBS = system_table->BootServices;
  gRT = system_table->RuntimeServices;
  SerialWriteLine(PlatformText().Add("platform: start"));

  PlatformOptions options;
  (void)ApplyPlatformSettings(&options);  // reported on the serial port; the defaults hold
  InstallStandIns(options);
  EFI_STATUS status = RunHearth(options);
  RemoveConsoleControl();
  RemoveSmcService();
  RemoveInputStandIns();
  RemoveDisplayServices();
  RemoveNetworkFiles();
  RemoveImageCodec();
  if (options.exit_qemu == QemuExitPolicy::kOnReturn) ExitQemu(status, kExitKeyTimeoutSeconds);
  return status;
}
