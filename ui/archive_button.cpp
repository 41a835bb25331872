#include "ui/archive_button.h"

#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/archive_image.h"

namespace {

struct Picture {
  DUPixel* pixels = nullptr;
  DUSize size{};
  UINTN bytes = 0;
};

bool Load(const Archive* archive, const char* name, const char* which, Picture* out) {
  if (ArchiveCopyPNGImage(archive, name, &out->pixels, &out->size, &out->bytes, TRUE) == 0) return true;
  DULogError("ArchiveButtonCreate", "ArchiveCopyPNGImage failed for %s: %s\n", which, name ? name : "(null)");
  return false;
}

}  // namespace

DUView* ArchiveButtonCreate(const Archive* archive, const char* up_name, const char* selected_name,
                            const char* down_name, UIButtonClickCallback callback, void* context) {
  Picture up, selected, down;
  DUView* view = nullptr;
  if (Load(archive, up_name, "upImage", &up) && Load(archive, selected_name, "selectedImage", &selected) &&
      Load(archive, down_name, "downImage", &down)) {
    bool same = up.size.width == selected.size.width && up.size.height == selected.size.height &&
                up.size.width == down.size.width && up.size.height == down.size.height;
    EFI_STATUS status = same ? UIButtonCreateWithImageBuffers(&view, up.pixels, selected.pixels, down.pixels, up.size,
                                                              DURectMake(0, 0, up.size.height, up.size.width))
                             : EFI_INVALID_PARAMETER;
    if (EFI_ERROR(status)) {
      DULogError("ArchiveButtonCreate", "UIButtonCreateWithImageFiles failed to load ('%s', '%s', '%s') err:%d\n", up_name,
                 selected_name, down_name, INT32(status));
      view = nullptr;
    } else if (EFI_ERROR(status = UIButtonSetClickCallback(view, callback, context))) {
      DULogError("ArchiveButtonCreate", "ERROR: UIButtonRegisterCallback for '%s' with err:%d\n", up_name, INT32(status));
      (void)DUViewDestroy(view);  // a fresh view
      view = nullptr;
    }
  }
  PoolFree(up.pixels);
  PoolFree(selected.pixels);
  PoolFree(down.pixels);
  return view;
}
