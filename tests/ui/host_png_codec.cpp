#include "tests/ui/host_png_codec.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

namespace host_png {

int Info(const void* data, UINTN size, int* w, int* h) {
  int n = 0;
  return stbi_info_from_memory(static_cast<const stbi_uc*>(data), int(size), w, h, &n);
}

unsigned char* Load(const void* data, UINTN size, int* w, int* h) {
  int n = 0;
  return stbi_load_from_memory(static_cast<const stbi_uc*>(data), int(size), w, h, &n, 4);
}

void Free(unsigned char* pixels) { stbi_image_free(pixels); }

}  // namespace host_png
