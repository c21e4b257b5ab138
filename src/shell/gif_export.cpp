#include "shell/gif_export.h"

#include <cgif.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

namespace squarefield {

int GifRecorder::WriteChunk(void* context, const std::uint8_t* data, const std::size_t size) {
  auto& self = *static_cast<GifRecorder*>(context);
  if (std::fwrite(data, 1, size, self.out_) == size) return 0;
  if (self.write_error_ == 0) self.write_error_ = errno != 0 ? errno : EIO;
  return -1;
}

std::uint16_t GifDelay(double fps) {
  const double hundredths = std::round(100.0 / fps);
  return static_cast<std::uint16_t>(std::clamp(hundredths, 2.0, 65535.0));
}

GifRecorder::GifRecorder(std::FILE* out, int width, int height, std::uint16_t delay)
    : indices_(static_cast<std::size_t>(width) * height), width_(width), height_(height), delay_(delay), out_(out) {
  // Black and white only: frames are stored whole within the window that changed,
  // not with unchanged pixels marked transparent, since those marks break up the
  // long runs of one colour that the encoder compresses best (a third less data).
  static std::uint8_t palette[] = {0, 0, 0, 255, 255, 255};
  CGIF_Config config{};
  config.pGlobalPalette = palette;
  config.numGlobalPaletteEntries = 2;
  config.attrFlags = CGIF_ATTR_IS_ANIMATED;
  config.numLoops = CGIF_INFINITE_LOOP;
  config.width = static_cast<std::uint16_t>(width);
  config.height = static_cast<std::uint16_t>(height);
  config.pWriteFn = WriteChunk;
  config.pContext = this;
  gif_ = cgif_newgif(&config);
  ok_ = gif_ != nullptr;
}

GifRecorder::~GifRecorder() {
  if (gif_ != nullptr) cgif_close(gif_);
}

bool GifRecorder::AddFrame(const Framebuffer& framebuffer) {
  if (!ok_) return false;
  // The GIF's size is fixed by its header: a frame of another size is a failure, not an overrun.
  if (framebuffer.Width() != width_ || framebuffer.Height() != height_) {
    ok_ = false;
    return false;
  }
  // Any colour but black shows as white: the effect paints only those two.
  for (int y = 0; y < height_; ++y) {
    const std::uint32_t* row = framebuffer.Row(y);
    for (int x = 0; x < width_; ++x) indices_[static_cast<std::size_t>(y) * width_ + x] = (row[x] & 0xFFFFFFu) != 0;
  }
  CGIF_FrameConfig frame{};
  frame.pImageData = indices_.data();
  frame.delay = delay_;
  frame.genFlags = CGIF_FRAME_GEN_USE_DIFF_WINDOW;
  ok_ = cgif_addframe(gif_, &frame) == CGIF_OK;
  frames_ += ok_;
  return ok_;
}

bool GifRecorder::Finish() {
  if (gif_ == nullptr) return false;
  const int result = cgif_close(gif_);
  gif_ = nullptr;
  return ok_ && result == CGIF_OK && frames_ > 0;
}

}  // namespace squarefield
