#include "uiprobe/password_screen.h"

#include "diag/log.h"
#include "draw/display.h"
#include "efi/protocols/loaded_image.h"
#include "efi/protocols/simple_file_system.h"
#include "flags/guids.h"
#include "lib/mem.h"
#include "memory/memory.h"
#include "memory/owners.h"
#include "ui/archive.h"
#include "ui/archive_files.h"
#include "ui/glyph_cache.h"
#include "ui/password_field.h"

struct PasswordProbe {
  DUScreen* screen;
  Archive* font;
  Archive* resources;
  UIGlyphCache* glyphs;
  DUView* field;
};

namespace {

constexpr char kModeValue[] = "password";
constexpr INT32 kFieldWidth = 200;
constexpr INT32 kFieldHeight = 17;  // the glyphs' height
constexpr DUPixel kWhite = DUColorMake(255, 255, 255, 0);

// One rendering as ASCII for the log line; room holds at least 8 bytes.
void Describe(const CHAR16* text, char* out, UINTN room) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  UINTN at = 0;
  for (UINTN i = 0; text != nullptr && text[i] != 0; ++i) {
    CHAR16 unit = text[i];
    if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\') {
      if (at + 2 > room) break;
      out[at++] = char(unit);
    } else {
      if (at + 7 > room) break;
      out[at++] = '\\';
      out[at++] = 'u';
      for (int shift = 12; shift >= 0; shift -= 4) out[at++] = kHex[(unit >> shift) & 0xF];
    }
  }
  out[at] = 0;
}

void LogRenderings(DUView* view, void*) {
  char shown[160], type47[160], type45[160];
  Describe(UIPasswordTextFieldGetText(view, kUIRenderingType46), shown, sizeof(shown));
  Describe(UIPasswordTextFieldGetText(view, kUIRenderingType47), type47, sizeof(type47));
  Describe(UIPasswordTextFieldGetText(view, kUIRenderingType45), type45, sizeof(type45));
  LogMessage(kLogCategoryError, "uiprobe: field 46 \"%s\" 47 \"%s\" 45 \"%s\"\n", shown, type47, type45);
}

EFI_STATUS OpenOwnVolume(EFI_HANDLE image_handle, OpenFile* root) {
  EFI_LOADED_IMAGE_PROTOCOL* image = nullptr;
  EFI_SIMPLE_FILE_SYSTEM_PROTOCOL* volume = nullptr;
  EFI_STATUS status = gBS->HandleProtocol(image_handle, &kEfiLoadedImageProtocolGuid, reinterpret_cast<VOID**>(&image));
  if (EFI_ERROR(status)) return status;
  status = gBS->HandleProtocol(image->DeviceHandle, &kEfiSimpleFileSystemProtocolGuid,
                               reinterpret_cast<VOID**>(&volume));
  if (EFI_ERROR(status)) return status;
  return volume->OpenVolume(volume, root->out());
}

PasswordProbe* Fail(PasswordProbe* probe, const char* what) {
  LogMessage(kLogCategoryError, "uiprobe: password screen: %s\n", what);
  PasswordProbeStop(probe);
  return nullptr;
}

}  // namespace

bool PasswordModeRequested() {
  char value[sizeof(kModeValue)] = {};
  UINTN size = sizeof(value);
  EFI_GUID vendor = TarnVendorGuid;
  if (EFI_ERROR(gRT->GetVariable(const_cast<CHAR16*>(u"uiprobe-mode"), &vendor, nullptr, &size, value))) return false;
  return size == sizeof(kModeValue) - 1 && MemCompare(value, kModeValue, size) == 0;
}

PasswordProbe* PasswordProbeStart(EFI_HANDLE image_handle) {
  auto* probe = static_cast<PasswordProbe*>(PoolAllocateZero(sizeof(PasswordProbe)));
  if (probe == nullptr) return nullptr;
  OpenFile root;
  if (EFI_ERROR(OpenOwnVolume(image_handle, &root))) return Fail(probe, "the probe's volume cannot be opened");
  if (LWCreateLocalizedArchiveAdv(root.get(), u"Lucida13.efires", &probe->font, nullptr) != 0 ||
      LWCreateLocalizedArchiveAdv(root.get(), u"uiprobe.efires", &probe->resources, nullptr) != 0) {
    return Fail(probe, "an archive is missing");
  }
  const void* layout_data = nullptr;
  UINT32 layout_length = 0;
  if (ArchiveGetData(probe->resources, "loginui_keyboard_layout.uchr", FALSE, &layout_data, &layout_length, TRUE) !=
      kArchiveOk) {
    return Fail(probe, "ArchiveGetData(loginui_keyboard_layout.uchr) failed!");
  }
  if (UIGlyphCacheCreate(probe->font, &probe->glyphs) != 0) return Fail(probe, "no glyph cache");
  if (EFI_ERROR(DUInitialize()) || EFI_ERROR(DUScreenCreate(kWhite, &probe->screen))) {
    return Fail(probe, "no screen");
  }
  DUSize size = DUDisplaySize();
  INT32 scale = DUScaleFactor() > 1 ? 2 : 1;
  DURect frame = DURectMake((size.width - kFieldWidth * scale) / 2, (size.height - kFieldHeight * scale) / 2,
                            kFieldHeight * scale, kFieldWidth * scale);
  UIPasswordFieldPictures pictures{};
  pictures.glyphs = UIGlyphCacheSource(probe->glyphs);
  EFIKeyLayout layout{static_cast<const UINT8*>(layout_data), layout_length};
  gUIPasswordFieldBackground = kWhite;
  if (UIPasswordTextFieldCreate(&probe->field, frame, pictures, &layout, FALSE) != 0) {
    return Fail(probe, "UIPasswordTextFieldCreate failed");
  }
  if (EFI_ERROR(DUScreenAddView(probe->screen, probe->field))) {
    DUViewDestroy(probe->field);
    probe->field = nullptr;
    return Fail(probe, "the field cannot be shown");
  }
  UIPasswordTextFieldSetShowGlyphs(probe->field, TRUE);
  UIPasswordTextFieldSetTextChangedCallback(probe->field, LogRenderings, nullptr);
  UIPasswordTextFieldSetFocus(probe->field, TRUE, TRUE);
  LogMessage(kLogCategoryError, "uiprobe: password field at %d,%d size %dx%d\n", frame.x, frame.y, frame.width,
             frame.height);
  return probe;
}

void PasswordProbeStop(PasswordProbe* probe) {
  if (probe == nullptr) return;
  if (probe->screen != nullptr) DUScreenDestroy(probe->screen);  // and the field with it
  UIGlyphCacheDestroy(probe->glyphs);
  ArchiveDestroy(probe->resources);
  ArchiveDestroy(probe->font);
  PoolFree(probe);
}
