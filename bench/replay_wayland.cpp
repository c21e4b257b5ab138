// The floor under the Wayland presenter's cost: a bare client that replays
// the effect's own fills, read from a seeded headless run's trace of the same
// size, into two shared-memory buffers of a full-screen surface (each buffer
// gets the fills of the frame the other showed, then this frame's), one frame
// per frame callback, damaging this frame's change in one of three shapes:
//   fills  each fill's rectangle
//   bands  one box per 64-row band around the fills in it
//   whole  the whole buffer
// Usage: replay_wayland TRACE SHAPE SECONDS   (on the compositor WAYLAND_DISPLAY names)
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "replay_trace.h"
#include "xdg-shell-client-protocol.h"

namespace {

struct Client {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wm = nullptr;
  int width = 0, height = 0;
  bool configured = false, frame_done = true;
  bool busy[2] = {false, false};
};

template <class... Args>
void Ignore(void*, Args...) {}

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  auto* c = static_cast<Client*>(data);
  if (!std::strcmp(interface, wl_compositor_interface.name))
    c->compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 4));
  if (!std::strcmp(interface, wl_shm_interface.name))
    c->shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
  if (!std::strcmp(interface, xdg_wm_base_interface.name))
    c->wm = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}
const wl_registry_listener kRegistry = {.global = Global, .global_remove = Ignore<wl_registry*, std::uint32_t>};
void Ping(void*, xdg_wm_base* wm, std::uint32_t serial) { xdg_wm_base_pong(wm, serial); }
const xdg_wm_base_listener kWm = {.ping = Ping};
void SurfaceConfigure(void* data, xdg_surface* s, std::uint32_t serial) {
  xdg_surface_ack_configure(s, serial);
  static_cast<Client*>(data)->configured = true;
}
const xdg_surface_listener kSurface = {.configure = SurfaceConfigure};
void ToplevelConfigure(void* data, xdg_toplevel*, std::int32_t w, std::int32_t h, wl_array*) {
  auto* c = static_cast<Client*>(data);
  if (w > 0 && h > 0) c->width = w, c->height = h;
}
const xdg_toplevel_listener kToplevel = {.configure = ToplevelConfigure,
                                         .close = Ignore<xdg_toplevel*>,
                                         .configure_bounds = Ignore<xdg_toplevel*, std::int32_t, std::int32_t>,
                                         .wm_capabilities = Ignore<xdg_toplevel*, wl_array*>};
void FrameDone(void* data, wl_callback* cb, std::uint32_t) {
  wl_callback_destroy(cb);
  static_cast<Client*>(data)->frame_done = true;
}
const wl_callback_listener kFrame = {.done = FrameDone};
void Released(void* data, wl_buffer*) { *static_cast<bool*>(data) = false; }
const wl_buffer_listener kBuffer = {.release = Released};

enum class Shape { kFills, kBands, kWhole };

// This frame's change, damaged in `shape`.
void Damage(wl_surface* surface, Shape shape, const std::vector<replay::Fill>& fills, int w, int h) {
  if (shape == Shape::kWhole) return wl_surface_damage_buffer(surface, 0, 0, w, h);
  if (shape == Shape::kFills) {
    for (const replay::Fill& f : fills) wl_surface_damage_buffer(surface, f.left, f.top, f.right - f.left, f.bottom - f.top);
    return;
  }
  constexpr int kBand = 64;
  struct Box {
    int l = 1 << 30, t = 1 << 30, r = -1, b = -1;
  };
  std::vector<Box> bands(static_cast<std::size_t>((h + kBand - 1) / kBand));
  for (const replay::Fill& f : fills)
    for (int band = f.top / kBand; band * kBand < f.bottom; ++band) {
      Box& box = bands[static_cast<std::size_t>(band)];
      box.l = std::min(box.l, f.left), box.r = std::max(box.r, f.right);
      box.t = std::min(box.t, std::max(f.top, band * kBand)), box.b = std::max(box.b, std::min(f.bottom, (band + 1) * kBand));
    }
  for (const Box& box : bands)
    if (box.r > box.l) wl_surface_damage_buffer(surface, box.l, box.t, box.r - box.l, box.b - box.t);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string shape_name = argc == 4 ? argv[2] : "";
  const Shape shape = shape_name == "fills" ? Shape::kFills : shape_name == "bands" ? Shape::kBands : Shape::kWhole;
  replay::Trace trace;
  if (argc != 4 || (shape_name != "fills" && shape_name != "bands" && shape_name != "whole")) {
    std::fprintf(stderr, "usage: replay_wayland TRACE fills|bands|whole SECONDS\n");
    return 2;
  }
  if (!trace.Open(argv[1])) {
    std::fprintf(stderr, "replay_wayland: cannot read the trace %s\n", argv[1]);
    return 1;
  }
  const double seconds = std::atof(argv[3]);
  wl_display* display = wl_display_connect(nullptr);
  if (display == nullptr) return 1;
  Client c;
  wl_registry_add_listener(wl_display_get_registry(display), &kRegistry, &c);
  wl_display_roundtrip(display);
  if (!c.compositor || !c.shm || !c.wm) return 1;
  xdg_wm_base_add_listener(c.wm, &kWm, &c);
  wl_surface* surface = wl_compositor_create_surface(c.compositor);
  xdg_surface* xs = xdg_wm_base_get_xdg_surface(c.wm, surface);
  xdg_surface_add_listener(xs, &kSurface, &c);
  xdg_toplevel* top = xdg_surface_get_toplevel(xs);
  xdg_toplevel_add_listener(top, &kToplevel, &c);
  xdg_toplevel_set_fullscreen(top, nullptr);
  wl_surface_commit(surface);
  while (!c.configured) wl_display_dispatch(display);
  if (c.width == 0) {
    // Sized only once shown: show a pixel of black first.
    const int one_fd = memfd_create("pixel", MFD_CLOEXEC);
    if (one_fd < 0 || ftruncate(one_fd, 4) != 0) return 1;
    wl_shm_pool* one_pool = wl_shm_create_pool(c.shm, one_fd, 4);
    wl_buffer* pixel = wl_shm_pool_create_buffer(one_pool, 0, 1, 1, 4, WL_SHM_FORMAT_XRGB8888);
    wl_surface_attach(surface, pixel, 0, 0);
    wl_surface_commit(surface);
    while (c.width == 0)
      if (wl_display_dispatch(display) < 0) return 1;
  }
  const int w = c.width, h = c.height;
  if (w != trace.Width() || h != trace.Height()) {
    std::fprintf(stderr, "replay_wayland: the trace is %dx%d, the surface %dx%d\n", trace.Width(), trace.Height(), w, h);
    return 1;
  }
  const std::size_t one = static_cast<std::size_t>(w) * h * 4;
  const int fd = memfd_create("replay", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(one * 2)) != 0) return 1;
  auto* memory = static_cast<std::uint32_t*>(mmap(nullptr, one * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  wl_shm_pool* pool = wl_shm_create_pool(c.shm, fd, static_cast<std::int32_t>(one * 2));
  wl_buffer* buffers[2];
  for (int i = 0; i < 2; ++i) {
    buffers[i] = wl_shm_pool_create_buffer(pool, static_cast<std::int32_t>(one * i), w, h, w * 4, WL_SHM_FORMAT_XRGB8888);
    wl_buffer_add_listener(buffers[i], &kBuffer, &c.busy[i]);
  }
  // Both black to start with, shown whole once.
  wl_surface_attach(surface, buffers[0], 0, 0);
  wl_surface_damage_buffer(surface, 0, 0, w, h);
  wl_surface_commit(surface);
  c.busy[0] = true;
  std::vector<replay::Fill> last, now;  // the frame the other buffer showed, and this one
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (int frame = 1; std::chrono::steady_clock::now() < end && trace.Next(now); ++frame) {
    const int b = frame & 1;
    while (!c.frame_done || c.busy[b])
      if (wl_display_dispatch(display) < 0) return 1;
    std::uint32_t* pixels = memory + static_cast<std::size_t>(w) * h * b;
    for (const replay::Fill& f : last) replay::Paint(pixels, w, f);
    for (const replay::Fill& f : now) replay::Paint(pixels, w, f);
    wl_surface_attach(surface, buffers[b], 0, 0);
    Damage(surface, shape, now, w, h);
    c.frame_done = false;
    c.busy[b] = true;
    wl_callback_add_listener(wl_surface_frame(surface), &kFrame, &c);
    wl_surface_commit(surface);
    wl_display_flush(display);
    std::swap(last, now);
  }
  // Out of frames before the time: stay connected and idle, as a shown picture does.
  while (std::chrono::steady_clock::now() < end) {
    pollfd watch{wl_display_get_fd(display), POLLIN, 0};
    poll(&watch, 1, 100);
    if (wl_display_dispatch_pending(display) < 0) break;
  }
  wl_display_disconnect(display);
  return 0;
}
