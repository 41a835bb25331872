#include "platform/variable_setter.h"

#include "platform/serial_output.h"

EFI_STATUS SetSettingsVariable(const SettingsVariable& variable) {
  // An empty value deletes the variable, as SetVariable defines.
  EFI_STATUS status = gRT->SetVariable(variable.name, &variable.vendor, variable.attributes, variable.value_size,
                                       variable.value);
  PlatformText line;
  line.Add("platform: variable ").AddUcs2(variable.name);
  if (EFI_ERROR(status)) {
    line.Add(" not set: ").AddStatus(status);
  } else if (variable.value_size == 0) {
    line.Add(" deleted");
  } else {
    line.Add(" set (").AddDecimal(variable.value_size).Add(variable.value_size == 1 ? " byte)" : " bytes)");
  }
  SerialWriteLine(line);
  return status;
}
