#include "shell/png_export.h"

#include <cerrno>
#include <new>
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
  rgb.reserve(static_cast<std::size_t>(framebuffer.Width()) * framebuffer.Height() * 3);
  for (int y = 0; y < framebuffer.Height(); ++y) {
    const std::uint32_t* row = framebuffer.Row(y);
    for (int x = 0; x < framebuffer.Width(); ++x) {
      rgb.push_back(static_cast<unsigned char>(row[x] >> 16));
      rgb.push_back(static_cast<unsigned char>(row[x] >> 8));
      rgb.push_back(static_cast<unsigned char>(row[x]));
    }
  }
  Sink sink{out};
  const int ok = stbi_write_png_to_func(ToFile, &sink, framebuffer.Width(), framebuffer.Height(), 3, rgb.data(),
                                        framebuffer.Width() * 3);
  write_error = sink.error;
  // The encoder fails without a write failing only when it runs out of memory.
  if (ok == 0 && sink.error == 0 && !std::ferror(out)) throw std::bad_alloc();
  return ok != 0 && sink.error == 0 && !std::ferror(out);
}

}  // namespace squarefield
