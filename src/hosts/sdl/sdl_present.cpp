// The SDL host's presents: on X11 the frame's fills replayed by the server in
// batches of a colour, else the damage through the window's surface or a
// streaming texture.
#include "hosts/sdl/sdl_host.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace squarefield {

bool SdlPresenter::PresentTexture(MonitorWindow& output, const Framebuffer& fb, std::span<const RECT> damage) {
  const int w = output.area.w, h = output.area.h;
  if (output.renderer == nullptr) {
    output.renderer = sdl_->SDL_CreateRenderer(output.window, -1, 0);
    if (output.renderer == nullptr) return false;
  }
  bool whole = false;
  if (output.texture == nullptr || output.texture_w != w || output.texture_h != h) {
    if (output.texture) sdl_->SDL_DestroyTexture(output.texture);
    output.texture = sdl_->SDL_CreateTexture(output.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, w, h);
    if (output.texture == nullptr) return false;
    output.texture_w = w;
    output.texture_h = h;
    whole = true;  // a new texture holds nothing yet
  }
  const int left = output.area.x, top = output.area.y;
  const int right = std::min(fb.Width(), left + w), bottom = std::min(fb.Height(), top + h);
  auto upload = [&](int l, int t, int r, int b) {
    if (r <= l || b <= t) return false;
    const SDL_Rect to{l - left, t - top, r - l, b - t};
    staging_.resize(static_cast<std::size_t>(r - l) * (b - t));
    for (int y = t; y < b; ++y) fb.ReadRow(y, l, r, staging_.data() + static_cast<std::size_t>(y - t) * (r - l));
    sdl_->SDL_UpdateTexture(output.texture, &to, staging_.data(), (r - l) * 4);
    return true;
  };
  bool sent = whole && upload(left, top, right, bottom);
  if (!whole)
    for (const RECT& d : damage)
      sent |= upload(std::max<int>(d.left, left), std::max<int>(d.top, top), std::min<int>(d.right, right),
                     std::min<int>(d.bottom, bottom));
  if (sent) {
    sdl_->SDL_RenderCopy(output.renderer, output.texture, nullptr, nullptr);
    sdl_->SDL_RenderPresent(output.renderer);
  }
  return true;
}

void* SdlPresenter::Gc(std::uint32_t pixel, std::uint64_t drawable) {
  for (const auto& [known, gc] : gcs_)
    if (known == pixel) return gc;
  void* gc = sdl_x11_.CreateGc(drawable, pixel & 0xFFFFFFu);
  if (gc != nullptr) gcs_.emplace_back(pixel, gc);
  return gc;
}

bool SdlPresenter::PresentFills(const Framebuffer& fb) {
  if (!fills_ok_ || !(fb.FillsReplay() || fb.FillsFromBlack())) return false;
  WatchVisibility();
  for (const MonitorWindow& output : windows_)
    if (output.x_window == 0) return false;
  for (const MonitorWindow& output : windows_) {
    const RECT area{output.area.x, output.area.y, output.area.x + output.area.w, output.area.y + output.area.h};
    if (fb.FillsFromBlack()) {
      void* black = Gc(0, output.x_window);
      if (black == nullptr) return false;
      const RECT all{0, 0, output.area.w, output.area.h};
      sdl_x11_.FillRectangles(output.x_window, black, {&all, 1});
    }
    for (const FillBatch& batch : batcher_.Batch(fb.Fills(), fb.Width(), fb.Height(), area)) {
      void* gc = Gc(batch.pixel, output.x_window);
      if (gc == nullptr) return false;
      sdl_x11_.FillRectangles(output.x_window, gc, batch.rects);
    }
  }
  sdl_x11_.Flush();
  return true;
}

std::optional<Failure> SdlPresenter::Present(const Framebuffer& fb) {
  // The X server's cheapest request is a fill: replay the frame's fills where they
  // give the picture exactly, and send pixels only where they do not.
  if (PresentFills(fb)) return std::nullopt;
  if (!on_x11_) {
    for (MonitorWindow& output : windows_)
      if (!PresentTexture(output, fb, fb.Damage())) return HostFailed(std::string("cannot draw in the window: ") + sdl_->SDL_GetError());
    return std::nullopt;
  }
  for (const MonitorWindow& output : windows_) {
    SDL_Surface* surface = sdl_->SDL_GetWindowSurface(output.window);
    // No surface now (a window being resized, minimised): the next present shows it all.
    if (surface == nullptr) continue;
    // The part of the framebuffer this window shows, clipped to both.
    const int left = output.area.x, top = output.area.y;
    const int right = std::min({fb.Width(), left + output.area.w, left + surface->w});
    const int bottom = std::min({fb.Height(), top + output.area.h, top + surface->h});
    const bool same_format = surface->format->format == SDL_PIXELFORMAT_RGB888 ||
                             surface->format->format == SDL_PIXELFORMAT_ARGB8888;
    rects_.clear();
    if (SDL_MUSTLOCK(surface)) sdl_->SDL_LockSurface(surface);
    // Only the damaged pixels are copied, and only their rectangles sent.
    for (const RECT& d : fb.Damage()) {
      const int l = std::max<int>(d.left, left), t = std::max<int>(d.top, top);
      const int r = std::min<int>(d.right, right), b = std::min<int>(d.bottom, bottom);
      if (r <= l || b <= t) continue;
      const SDL_Rect to{l - left, t - top, r - l, b - t};
      auto* dst = static_cast<Uint8*>(surface->pixels) + to.y * surface->pitch + to.x * surface->format->BytesPerPixel;
      if (same_format) {
        for (int y = 0; y < to.h; ++y) fb.ReadRow(t + y, l, r, reinterpret_cast<std::uint32_t*>(dst + y * surface->pitch));
      } else {
        staging_.resize(static_cast<std::size_t>(to.w));
        for (int y = 0; y < to.h; ++y) {
          fb.ReadRow(t + y, l, r, staging_.data());
          sdl_->SDL_ConvertPixels(to.w, 1, SDL_PIXELFORMAT_RGB888, staging_.data(), to.w * 4, surface->format->format,
                                  dst + y * surface->pitch, surface->pitch);
        }
      }
      rects_.push_back(to);
    }
    if (SDL_MUSTLOCK(surface)) sdl_->SDL_UnlockSurface(surface);
    if (!rects_.empty())
      sdl_->SDL_UpdateWindowSurfaceRects(output.window, rects_.data(), static_cast<int>(rects_.size()));
  }
  return std::nullopt;
}

}  // namespace squarefield
