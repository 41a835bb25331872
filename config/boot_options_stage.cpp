#include "config/boot_options_stage.h"

#include "flags/boot_mode.h"
#include "diag/stage.h"
#include "config/background_color.h"
#include "config/boot_options.h"
#include "config/platform_support.h"
#include "config/slide.h"
#include "config/start_keys.h"
#include "diag/log.h"
#include "efi/efi.h"
#include "efi/protocols/loaded_image.h"

namespace {

EFI_LOADED_IMAGE_PROTOCOL* BooterImage() {
  void* image = nullptr;
  if (EFI_ERROR(gBS->HandleProtocol(gImageHandle, &kEfiLoadedImageProtocolGuid, &image))) return nullptr;
  return static_cast<EFI_LOADED_IMAGE_PROTOCOL*>(image);
}

}  // namespace

void PrepareSlideAndStartKeys() {
  RandomSlide();
  BootModeFlags |= kBootModeSlide;
  ReadKeysHeldAtStart();
}

EFI_STATUS RunProcessOptionsStage(EFI_LOAD_FILE_PROTOCOL* load_file, EFI_FILE_PROTOCOL* root) {
  EFI_STATUS status;
  {
    Stage stage("ProcessOptions");
    EFI_LOADED_IMAGE_PROTOCOL* image = BooterImage();
    const void* options = image ? image->LoadOptions : nullptr;
    UINTN options_size = image && image->LoadOptions ? image->LoadOptionsSize : 0;
    status = ProcessOptions(load_file, root, options, options_size, nullptr);
    if (EFI_ERROR(status)) LogMessage(kLogCategoryError, "ProcessOptions failed (0x%lx)\n", status);
  }
  ReadBackgroundColor();
  EnforcePlatformSupport(load_file, root);
  return status;
}

