// hearthtool picture [NAME] [--json]: the pictures compiled into hearth.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "graphics/picture.h"
#include "tools/lib/host_services.h"
#include "tools/hearthtool/command.h"

namespace {

void PrintUsage(FILE* out) {
  std::fprintf(out,
               "usage: hearthtool picture [NAME] [--json]\n\n"
               "Lists the pictures compiled into hearth (name, size, compression, colour count,\n"
               "opacity plane), or describes one with its colour table. With --json the\n"
               "output is one JSON object per line: {\"name\", \"width\", \"height\",\n"
               "\"compression\", \"opacity\", \"colors\": [\"RRGGBB\", ...]}, checked by decoding.\n");
}

void Describe(const EmbeddedPicture* p, bool json, bool with_colours) {
  const char* compression = p->compression == kEmbeddedPictureLzss ? "lzss" : "lzvn";
  UINT32 entries = p->colors_length / 3;
  Picture decoded{};
  bool decodes = !EFI_ERROR(DecodeEmbeddedPicture(p, &decoded));
  PictureFree(&decoded);
  if (!json) {
    std::printf("%-20s %4u x %-4u %s %3u colours%s%s\n", p->name, p->width, p->height, compression, entries,
                p->opacity ? ", opacity plane" : "", decodes ? "" : ", DOES NOT DECODE");
    if (with_colours) {
      for (UINT32 i = 0; i < entries; ++i) {
        std::printf("  %3u %02X%02X%02X\n", i, p->colors[3 * i], p->colors[3 * i + 1], p->colors[3 * i + 2]);
      }
    }
    return;
  }
  std::printf("{\"name\":\"%s\",\"width\":%u,\"height\":%u,\"compression\":\"%s\",\"opacity\":%s,\"decodes\":%s,\"colors\":[",
              p->name, p->width, p->height, compression, p->opacity ? "true" : "false", decodes ? "true" : "false");
  for (UINT32 i = 0; i < entries; ++i) {
    std::printf("%s\"%02X%02X%02X\"", i ? "," : "", p->colors[3 * i], p->colors[3 * i + 1], p->colors[3 * i + 2]);
  }
  std::printf("]}\n");
}

int Run(const std::vector<std::string>& args) {
  bool json = false;
  std::string name;
  for (const std::string& a : args) {
    if (a == "--help" || a == "-h") {
      PrintUsage(stdout);
      return 0;
    }
    if (a == "--json") {
      json = true;
    } else if (name.empty() && a[0] != '-') {
      name = a;
    } else {
      PrintUsage(stderr);
      return 2;
    }
  }
  HostServices services;  // decoding allocates through the firmware's pool
  if (!name.empty()) {
    const EmbeddedPicture* p = FindEmbeddedPicture(name.c_str());
    if (!p) {
      std::fprintf(stderr, "hearthtool picture: no picture called %s\n", name.c_str());
      return 1;
    }
    Describe(p, json, true);
    return 0;
  }
  for (const EmbeddedPicture* p = EmbeddedPictureList(); p; p = p->next) Describe(p, json, false);
  return 0;
}

}  // namespace

HEARTHTOOL_COMMAND(picture_command, "picture", "list the pictures compiled into hearth", Run);
