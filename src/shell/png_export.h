// Saving the screen (any framebuffer) as an image.
#pragma once

#include <cstdio>

#include "hosts/framebuffer/framebuffer.h"

namespace squarefield {

// Writes the framebuffer as an 8-bit RGB PNG; false when the encoder or the
// stream failed, with `write_error` the errno of the first failed write (0: the encoder).
bool WritePng(const Framebuffer& framebuffer, std::FILE* out, int& write_error);

}  // namespace squarefield
