// The gamma stand-in: generic displays have no ramps to set, so it keeps the last ramps it
// was given and reports each call with a few sample entries and a sum of every entry.
#include "efi/protocols/tarn_gamma.h"
#include "platform/display_services.h"
#include "platform/display_services_internal.h"
#include "platform/serial_output.h"

namespace {

void AddSamples(PlatformText& line, const char* name, const UINT16* ramp, UINT32 count) {
  UINT64 sum = 0;
  for (UINT32 i = 0; i < count; ++i) sum += ramp[i];
  line.Add(" ").Add(name).Add(" ").AddDecimal(ramp[0]).Add(" ").AddDecimal(ramp[count / 2]).Add(" ");
  line.AddDecimal(ramp[count - 1]).Add(" sum ").AddDecimal(sum);
}

EFI_STATUS EFIAPI SetGammaRamps(TarnGammaProtocol*, UINT32 mode, UINT32 count, const UINT16* red,
                                const UINT16* green, const UINT16* blue) {
  PlatformText line;
  line.Add("platform: gamma ");
  if (count == 0) {
    SerialWriteLine(line.Add("reset (channel mode ").AddDecimal(mode).Add(")"));
    return EFI_SUCCESS;
  }
  if (!red || !green || !blue || count > 4096) {
    SerialWriteLine(line.Add("refused: bad ramps"));
    return EFI_INVALID_PARAMETER;
  }
  line.Add("ramps: mode ").AddDecimal(mode).Add(", ").AddDecimal(count).Add(" entries,");
  AddSamples(line, "red", red, count);
  AddSamples(line, "green", green, count);
  AddSamples(line, "blue", blue, count);
  SerialWriteLine(line);
  return EFI_SUCCESS;
}

TarnGammaProtocol gGammaProtocol = {nullptr, SetGammaRamps};
InstalledStandIn gGammaInstalled;

}  // namespace

EFI_STATUS InstallGamma() { return InstallStandIn(&gGammaInstalled, kTarnGammaProtocolGuid, &gGammaProtocol); }

void RemoveGamma() { RemoveStandIn(&gGammaInstalled); }
