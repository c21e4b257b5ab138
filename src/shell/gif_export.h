// Animated GIF export from the headless screen: one GIF frame per drawn frame,
// two colours, and only the window that changed is stored (cgif does the diff).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "hosts/framebuffer/framebuffer.h"

struct st_gif;

namespace squarefield {

class GifRecorder {
 public:
  // `delay` is in hundredths of a second. Writes to `out`, which stays the caller's.
  GifRecorder(std::FILE* out, int width, int height, std::uint16_t delay);
  ~GifRecorder();
  GifRecorder(const GifRecorder&) = delete;
  GifRecorder& operator=(const GifRecorder&) = delete;

  // False once any write failed or a frame was not the GIF's size; later frames are then dropped.
  bool AddFrame(const Framebuffer& framebuffer);
  // Writes the trailer; false if the file is not a complete GIF.
  bool Finish();
  std::int64_t Frames() const { return frames_; }
  // The errno of the first write that failed; 0 when none did (the encoder's own failure).
  int WriteError() const { return write_error_; }

 private:
  st_gif* gif_ = nullptr;
  std::vector<std::uint8_t> indices_;
  int width_, height_;
  std::uint16_t delay_;
  std::int64_t frames_ = 0;
  bool ok_ = true;
  std::FILE* out_;
  int write_error_ = 0;

  static int WriteChunk(void* context, const std::uint8_t* data, std::size_t size);
};

// Hundredths of a second per frame at `fps`: at least 2, the shortest delay viewers honour.
std::uint16_t GifDelay(double fps);

}  // namespace squarefield
