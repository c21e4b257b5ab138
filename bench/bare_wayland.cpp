// The least a Wayland client can do to show a frame like ours: a full-screen
// surface, two shared-memory buffers, 400 squares of 6x6 pixels moving a few
// pixels a frame (each buffer has its own squares of two frames ago erased),
// only the squares' rectangles damaged, one frame per frame callback.
// What it and the compositor cost is the floor under bench/present.sh's
// figure for the program's Wayland presenter.
// Usage: bare_wayland SECONDS   (on the compositor WAYLAND_DISPLAY names)
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "xdg-shell-client-protocol.h"

namespace {

struct Square {
  int x, y;
};

struct Client {
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wm = nullptr;
  int width = 0, height = 0;
  bool configured = false, frame_done = true;
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bare_wayland SECONDS\n");
    return 2;
  }
  const double seconds = std::atof(argv[1]);
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
  const std::size_t one = static_cast<std::size_t>(w) * h * 4;
  const int fd = memfd_create("bare", MFD_CLOEXEC);
  if (fd < 0 || ftruncate(fd, static_cast<off_t>(one * 2)) != 0) return 1;
  auto* memory = static_cast<std::uint32_t*>(mmap(nullptr, one * 2, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  wl_shm_pool* pool = wl_shm_create_pool(c.shm, fd, static_cast<std::int32_t>(one * 2));
  wl_buffer* buffers[2];
  for (int i = 0; i < 2; ++i)
    buffers[i] = wl_shm_pool_create_buffer(pool, static_cast<std::int32_t>(one * i), w, h, w * 4, WL_SHM_FORMAT_XRGB8888);
  // Both black to start with, shown whole once.
  wl_surface_attach(surface, buffers[0], 0, 0);
  wl_surface_damage_buffer(surface, 0, 0, w, h);
  wl_surface_commit(surface);
  // Squares moving a few pixels a frame, each in its own direction, coming
  // back at the centre when they leave: like ours, one rectangle a square
  // covers where the buffer last had it and where it is now.
  std::mt19937 random(1);
  struct Moving {
    double x, y, dx, dy;
  };
  std::vector<Moving> squares(400);
  auto respawn = [&](Moving& m) {
    const double a = (random() % 3600) * 3.14159265358979 / 1800, v = 1 + random() % 4;
    m = {w / 2.0 + (random() % 200) - 100, h / 2.0 + (random() % 200) - 100, v * std::cos(a), v * std::sin(a)};
  };
  for (Moving& m : squares) respawn(m);
  std::vector<Square> drawn[2];  // each buffer's squares, as it has them
  drawn[0].assign(400, {0, 0});
  drawn[1].assign(400, {0, 0});
  auto fill = [&](std::uint32_t* pixels, const Square& s, std::uint32_t colour) {
    for (int y = 0; y < 6; ++y) std::fill_n(pixels + static_cast<std::size_t>(s.y + y) * w + s.x, 6, colour);
  };
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (int frame = 1; std::chrono::steady_clock::now() < end; ++frame) {
    while (!c.frame_done)
      if (wl_display_dispatch(display) < 0) return 1;
    const int b = frame & 1;
    std::uint32_t* pixels = memory + static_cast<std::size_t>(w) * h * b;
    wl_surface_attach(surface, buffers[b], 0, 0);
    for (std::size_t i = 0; i < squares.size(); ++i) {
      Moving& m = squares[i];
      m.x += m.dx;
      m.y += m.dy;
      if (m.x < 0 || m.y < 0 || m.x > w - 8 || m.y > h - 8) respawn(m);
      const Square old = drawn[b][i], now{static_cast<int>(m.x), static_cast<int>(m.y)};
      fill(pixels, old, 0);
      fill(pixels, now, 0xffffff);
      drawn[b][i] = now;
      const int l = std::min(old.x, now.x), t = std::min(old.y, now.y);
      wl_surface_damage_buffer(surface, l, t, std::max(old.x, now.x) + 6 - l, std::max(old.y, now.y) + 6 - t);
    }
    c.frame_done = false;
    wl_callback_add_listener(wl_surface_frame(surface), &kFrame, &c);
    wl_surface_commit(surface);
    wl_display_flush(display);
  }
  wl_display_disconnect(display);
  return 0;
}
