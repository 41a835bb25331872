// The pictures every Tessel menu of an archive shares.
#include "draw/log_error.h"
#include "memory/memory.h"
#include "ui/archive_image.h"
#include "ui/flag_picker.h"

namespace {

struct Named {
  const char* name;
  TesselMenuPicture TesselMenuResources::*picture;
  bool tab;  // the log line of some shadow pieces has a tab after "find"
};

}  // namespace

void TesselMenuLoadResources(const Archive* archive, TesselMenuResources* r) {
  *r = TesselMenuResources{};
  static const Named kNamed[] = {
      {"tesselmenu_base_selection.png", &TesselMenuResources::baseSelection, false},
      {"tesselmenu_triangle_left.png", &TesselMenuResources::triangleLeft, false},
      {"tesselmenu_triangle_left_sel.png", &TesselMenuResources::triangleLeftSelected, false},
      {"tesselmenu_triangle_down.png", &TesselMenuResources::triangleDown, false},
      {"tesselmenu_triangle_down_sel.png", &TesselMenuResources::triangleDownSelected, false},
      {"tesselmenu_triangle_up.png", &TesselMenuResources::triangleUp, false},
      {"tesselmenu_triangle_up_sel.png", &TesselMenuResources::triangleUpSelected, false},
      {"tesselmenu_tick.png", &TesselMenuResources::tick, false},
      {"tesselmenu_tick_sel.png", &TesselMenuResources::tickSelected, false},
  };
  for (const Named& n : kNamed) {
    TesselMenuPicture& p = r->*n.picture;
    UINTN bytes = 0;
    if (ArchiveCopyPNGImage(archive, n.name, &p.pixels, &p.size, &bytes, FALSE) != 0) {
      p = TesselMenuPicture{};
      DULogError("_loadResources", "Impossible to find '%s' file", n.name);
    }
  }
  static const char* const kShadows[8] = {
      "tesselmenu_shadow_left.png",        "tesselmenu_shadow_right.png",        "tesselmenu_shadow_top_left.png",
      "tesselmenu_shadow_top_center.png",  "tesselmenu_shadow_top_right.png",    "tesselmenu_shadow_bottom_left.png",
      "tesselmenu_shadow_bottom_center.png", "tesselmenu_shadow_bottom_right.png",
  };
  for (int i = 0; i < 8; ++i) {
    UINTN bytes = 0;
    if (ArchiveCopyPNGImage(archive, kShadows[i], &r->shadow[i].pixels, &r->shadow[i].size, &bytes, FALSE) != 0) {
      r->shadow[i] = TesselMenuPicture{};
      DULogError("_loadResources", i < 2 ? "Impossible to find '%s' file" : "Impossible to find\t'%s' file",
                 kShadows[i]);
    }
  }
}

void TesselMenuFreeResources(TesselMenuResources* r) {
  TesselMenuPicture* all[] = {&r->baseSelection, &r->triangleLeft, &r->triangleLeftSelected, &r->triangleDown,
                              &r->triangleDownSelected, &r->triangleUp, &r->triangleUpSelected, &r->tick,
                              &r->tickSelected};
  for (TesselMenuPicture* p : all) PoolFree(p->pixels);
  for (TesselMenuPicture& p : r->shadow) PoolFree(p.pixels);
  *r = TesselMenuResources{};
}
