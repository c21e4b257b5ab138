#include "hosts/headless/png_export.h"

#include <cerrno>
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
struct Sink {
  std::FILE* file;
  int error = 0;
};
void ToFile(void* context, void* data, int size) {
  auto& sink = *static_cast<Sink*>(context);
  const auto n = static_cast<std::size_t>(size);
  if (std::fwrite(data, 1, n, sink.file) != n && sink.error == 0) sink.error = errno != 0 ? errno : EIO;
}
}  // namespace

bool WritePng(const Framebuffer& framebuffer, std::FILE* out, int& write_error) {
  std::vector<unsigned char> rgb;
  rgb.reserve(framebuffer.Pixels().size() * 3);
  for (std::uint32_t pixel : framebuffer.Pixels()) {
    rgb.push_back(static_cast<unsigned char>(pixel >> 16));
    rgb.push_back(static_cast<unsigned char>(pixel >> 8));
    rgb.push_back(static_cast<unsigned char>(pixel));
  }
  Sink sink{out};
  const int ok = stbi_write_png_to_func(ToFile, &sink, framebuffer.Width(), framebuffer.Height(), 3, rgb.data(),
                                        framebuffer.Width() * 3);
  write_error = sink.error;
  return ok != 0 && sink.error == 0 && !std::ferror(out);
}

}  // namespace squarefield
