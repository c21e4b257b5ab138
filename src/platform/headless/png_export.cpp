#include "platform/headless/png_export.h"

#include <vector>

#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#endif
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#include <stb_image_write.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace squarefield {

namespace {
void ToFile(void* context, void* data, int size) {
  std::fwrite(data, 1, static_cast<std::size_t>(size), static_cast<std::FILE*>(context));
}
}  // namespace

bool WritePng(const Framebuffer& framebuffer, std::FILE* out) {
  std::vector<unsigned char> rgb;
  rgb.reserve(framebuffer.Pixels().size() * 3);
  for (std::uint32_t pixel : framebuffer.Pixels()) {
    rgb.push_back(static_cast<unsigned char>(pixel >> 16));
    rgb.push_back(static_cast<unsigned char>(pixel >> 8));
    rgb.push_back(static_cast<unsigned char>(pixel));
  }
  const int ok = stbi_write_png_to_func(ToFile, out, framebuffer.Width(), framebuffer.Height(), 3, rgb.data(),
                                        framebuffer.Width() * 3);
  return ok != 0 && !std::ferror(out);
}

}  // namespace squarefield
