// Saving the headless screen as an image.
#pragma once

#include <cstdio>

#include "platform/framebuffer/framebuffer.h"

namespace squarefield {

// Writes the framebuffer as an 8-bit RGB PNG; false when the encoder or the stream failed.
bool WritePng(const Framebuffer& framebuffer, std::FILE* out);

}  // namespace squarefield
