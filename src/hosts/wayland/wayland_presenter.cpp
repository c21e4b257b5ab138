#include "hosts/wayland/wayland_presenter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "fractional-scale-v1-client-protocol.h"
#include "hosts/framebuffer/monitor_layout.h"
#include "hosts/wait_readable.h"
#include "hosts/wayland/wayland_buffers.h"
#include "viewporter-client-protocol.h"
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"

namespace squarefield {

namespace {

// As many as the compositor keeps busy: one shown, one drawn.
constexpr int kMaxBuffers = 2;
// A wait shorter than this (a frame's, at a pace) is slept through when nothing
// waits for the compositor: its news (a frame callback, a buffer back) keeps
// for the next pump, and the program wakes once a frame.
constexpr double kShortSleep = 0.05;
// A frame the compositor has not asked for the next of in this long (six
// refreshes at 60 Hz) is one it is not showing.
constexpr std::chrono::milliseconds kUnseenAfter{100};
// A frame callback still not sent after this long is asked for again, with
// whatever changed meanwhile: a compositor that drops one must not freeze the
// picture, and one that shows nothing of ours costs one commit a second.
constexpr std::chrono::milliseconds kAskAgainAfter{1000};

struct Monitor;
struct Surface;

struct Buffer {
  Surface* surface = nullptr;
  wl_buffer* buffer = nullptr;
  bool busy = false;                 // the compositor has it
};

// One surface and what it shows: its part of the framebuffer, in buffers of its own.
struct Surface {
  WaylandPresenter::State* state = nullptr;
  Monitor* output = nullptr;  // the output it is full screen on; none for a window
  wl_surface* surface = nullptr;
  xdg_surface* xdg = nullptr;
  xdg_toplevel* toplevel = nullptr;
  zwlr_layer_surface_v1* layer = nullptr;  // a wallpaper's: in the background layer
  wp_viewport* viewport = nullptr;
  wp_fractional_scale_v1* fractional = nullptr;
  std::vector<Monitor*> entered;      // the monitors it is on (a window's scale)
  int pending_width = 0, pending_height = 0;  // from the configure not yet acked
  int points_width = 0, points_height = 0;    // its size on the desktop
  bool configured = false;
  std::uint32_t scale120 = 0;         // the compositor's preferred scale x120, where it says
  int buffer_scale = 1;               // without a viewport
  int damage_margin = 0;              // through a fractional viewport: pixels a point covers
  int width = 0, height = 0;          // in pixels: its buffers' size
  MonitorPlace area;                  // its part of the framebuffer
  wl_callback* frame = nullptr;       // a frame in flight
  std::chrono::steady_clock::time_point frame_sent;   // the first commit not yet answered
  std::chrono::steady_clock::time_point frame_asked;  // its callback, or the last one asked again
  BufferSet pictures;                 // what each buffer shows and lacks, and the change not sent
  std::vector<RECT> damage;
  int pool_fd = -1;
  void* memory = nullptr;
  std::size_t memory_size = 0;
  wl_shm_pool* pool = nullptr;
  Buffer buffers[kMaxBuffers];

  ~Surface();
  void DropBuffers();
  bool MakeBuffers(wl_shm* shm);
};

struct Monitor {
  WaylandPresenter::State* state = nullptr;
  wl_output* output = nullptr;
  zxdg_output_v1* xdg = nullptr;      // where the desktop lays it, where the compositor says
  std::uint32_t name = 0;
  int x = 0, y = 0;                   // on the desktop, in points (wl_output's own, often 0,0)
  bool laid = false;                  // the desktop's layout said where: at logical_x, logical_y
  int logical_x = 0, logical_y = 0;
  int mode_width = 0, mode_height = 0;
  int transform = WL_OUTPUT_TRANSFORM_NORMAL;
  int scale = 1;
  int refresh_mhz = 0;
  bool done = false;
  std::unique_ptr<Surface> surface;   // full screen: ours on it
  ~Monitor() {
    surface.reset();
    if (xdg) zxdg_output_v1_destroy(xdg);
    if (output) {
      if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(output)) >= 3)
        wl_output_release(output);
      else
        wl_output_destroy(output);
    }
  }
  // Its top-left corner on the desktop, in points.
  int Left() const { return laid ? logical_x : x; }
  int Top() const { return laid ? logical_y : y; }
  // The mode's size as the desktop sees it (turned a quarter for 90 and 270).
  int Width() const { return transform % 2 ? mode_height : mode_width; }
  int Height() const { return transform % 2 ? mode_width : mode_height; }
};

}  // namespace

struct WaylandPresenter::State {
  HostConfig config;
  wl_display* display = nullptr;
  wl_registry* registry = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  xdg_wm_base* wm = nullptr;
  zwlr_layer_shell_v1* layer_shell = nullptr;
  wp_viewporter* viewporter = nullptr;
  wp_fractional_scale_manager_v1* fractional = nullptr;
  zxdg_output_manager_v1* xdg_outputs = nullptr;
  wl_seat* seat = nullptr;
  wl_keyboard* keyboard = nullptr;
  wl_pointer* pointer = nullptr;
  xkb_context* xkb = nullptr;
  xkb_keymap* keymap = nullptr;
  xkb_state* keys = nullptr;
  std::vector<std::unique_ptr<Monitor>> monitors;
  std::unique_ptr<Surface> window;    // --window: the one surface
  bool full_screen = false;
  bool closed = false;                // a surface was closed, or input ended a screensaver
  bool layout_changed = false;        // monitors or surface sizes changed: lay out again
  int escape_presses = 0;
  bool escape_down = false;
  bool cursor_hidden = false;
  std::uint32_t pointer_serial = 0;
  bool pointer_seen = false;
  double pointer_x = 0, pointer_y = 0;
  int width = 0, height = 0;          // the framebuffer's
  const Framebuffer* fb = nullptr;    // the last one presented, for frames sent from a pump

  ~State();
  std::vector<Surface*> Surfaces();
  Surface* NewSurface(Monitor* output);
  void Describe(Monitor& output);
  void Lay();
  bool AwaitSizes(std::string& error);
  bool Flush(Surface& s);
  bool AskAgain(Surface& s);
  // The framebuffer's pixels made current while the buffers still hold the
  // picture: before a surface, its buffers or its place go.
  void KeepPicture() {
    if (fb != nullptr) fb->CatchUpNow();
  }
  bool HoldsPicture();
  void Input() {
    if (config.saver) ++escape_presses;
  }
  void HideCursor() {
    if (pointer && pointer_seen && cursor_hidden) wl_pointer_set_cursor(pointer, pointer_serial, nullptr, 0, 0);
  }
};

namespace {

using State = WaylandPresenter::State;

// For the events of later versions than the ones bound, which never come.
template <class... Args>
void Ignore(void*, Args...) {}

void SurfaceEnter(void* data, wl_surface*, wl_output* output) {
  auto* s = static_cast<Surface*>(data);
  for (auto& o : s->state->monitors)
    if (o->output == output) s->entered.push_back(o.get());
  s->state->layout_changed = true;
}
void SurfaceLeave(void* data, wl_surface*, wl_output* output) {
  auto* s = static_cast<Surface*>(data);
  std::erase_if(s->entered, [&](Monitor* o) { return o->output == output; });
  s->state->layout_changed = true;
}
const wl_surface_listener kSurfaceListener = {SurfaceEnter, SurfaceLeave};

void Configured(Surface* s);

void XdgConfigure(void* data, xdg_surface* xdg, std::uint32_t serial) {
  xdg_surface_ack_configure(xdg, serial);
  Configured(static_cast<Surface*>(data));
}
const xdg_surface_listener kXdgSurfaceListener = {XdgConfigure};

void LayerConfigure(void* data, zwlr_layer_surface_v1* layer, std::uint32_t serial, std::uint32_t width,
                    std::uint32_t height) {
  auto* s = static_cast<Surface*>(data);
  zwlr_layer_surface_v1_ack_configure(layer, serial);
  s->pending_width = static_cast<int>(width);
  s->pending_height = static_cast<int>(height);
  Configured(s);
}
// Closed by the compositor: its output is going, and with it the surface (the
// output's removal drops it); nothing else closes a background.
const zwlr_layer_surface_v1_listener kLayerListener = {LayerConfigure, Ignore<zwlr_layer_surface_v1*>};

void Configured(Surface* s) {
  // 0 x 0: ours to choose. A window starts at the window size in points; full screen on
  // an output at the output's size (a compositor may size it only once shown).
  int w = s->pending_width, h = s->pending_height;
  if (w <= 0 || h <= 0) {
    const Monitor* o = s->output;
    w = s->points_width > 0 ? s->points_width : o && o->Width() > 0 ? o->Width() / o->scale : kWindowWidth;
    h = s->points_height > 0 ? s->points_height : o && o->Height() > 0 ? o->Height() / o->scale : kWindowHeight;
  }
  if (!s->configured || w != s->points_width || h != s->points_height) s->state->layout_changed = true;
  s->points_width = w;
  s->points_height = h;
  s->configured = true;
}

void ToplevelConfigure(void* data, xdg_toplevel*, std::int32_t width, std::int32_t height, wl_array*) {
  auto* s = static_cast<Surface*>(data);
  s->pending_width = width;
  s->pending_height = height;
}
void ToplevelClose(void* data, xdg_toplevel*) { static_cast<Surface*>(data)->state->closed = true; }
const xdg_toplevel_listener kToplevelListener = {.configure = ToplevelConfigure,
                                                 .close = ToplevelClose,
                                                 .configure_bounds = Ignore<xdg_toplevel*, std::int32_t, std::int32_t>,
                                                 .wm_capabilities = Ignore<xdg_toplevel*, wl_array*>};

void PreferredScale(void* data, wp_fractional_scale_v1*, std::uint32_t scale) {
  auto* s = static_cast<Surface*>(data);
  if (s->scale120 != scale) s->state->layout_changed = true;
  s->scale120 = scale;
}
const wp_fractional_scale_v1_listener kFractionalListener = {PreferredScale};

void FrameDone(void* data, wl_callback* callback, std::uint32_t) {
  auto* s = static_cast<Surface*>(data);
  wl_callback_destroy(callback);
  s->frame = nullptr;
  // Anything that waited for this frame goes now.
  if (s->state->fb != nullptr) s->state->Flush(*s);
}
const wl_callback_listener kFrameListener = {FrameDone};

void BufferRelease(void* data, wl_buffer*) {
  auto* b = static_cast<Buffer*>(data);
  b->busy = false;
  // A change that waited for a free buffer goes now.
  if (b->surface->state->fb != nullptr) b->surface->state->Flush(*b->surface);
}
const wl_buffer_listener kBufferListener = {BufferRelease};

void Ping(void*, xdg_wm_base* wm, std::uint32_t serial) { xdg_wm_base_pong(wm, serial); }
const xdg_wm_base_listener kWmListener = {Ping};

void OutputGeometry(void* data, wl_output*, std::int32_t x, std::int32_t y, std::int32_t, std::int32_t, std::int32_t,
                    const char*, const char*, std::int32_t transform) {
  auto* o = static_cast<Monitor*>(data);
  o->x = x;
  o->y = y;
  o->transform = transform;
}
void OutputMode(void* data, wl_output*, std::uint32_t flags, std::int32_t width, std::int32_t height, std::int32_t refresh) {
  auto* o = static_cast<Monitor*>(data);
  if (!(flags & WL_OUTPUT_MODE_CURRENT)) return;
  o->mode_width = width;
  o->mode_height = height;
  o->refresh_mhz = refresh;
}
void OutputDone(void* data, wl_output*) {
  auto* o = static_cast<Monitor*>(data);
  o->done = true;
  o->state->layout_changed = true;
}
void OutputScale(void* data, wl_output*, std::int32_t scale) { static_cast<Monitor*>(data)->scale = std::max(1, scale); }
const wl_output_listener kOutputListener = {.geometry = OutputGeometry,
                                           .mode = OutputMode,
                                           .done = OutputDone,
                                           .scale = OutputScale,
                                           .name = Ignore<wl_output*, const char*>,
                                           .description = Ignore<wl_output*, const char*>};

// The desktop's layout: wl_output's own position is 0,0 on many compositors.
void LogicalPosition(void* data, zxdg_output_v1*, std::int32_t x, std::int32_t y) {
  auto* o = static_cast<Monitor*>(data);
  o->laid = true;
  o->logical_x = x;
  o->logical_y = y;
  o->state->layout_changed = true;
}
void XdgOutputDone(void* data, zxdg_output_v1*) { static_cast<Monitor*>(data)->state->layout_changed = true; }
const zxdg_output_v1_listener kXdgOutputListener = {.logical_position = LogicalPosition,
                                                   .logical_size = Ignore<zxdg_output_v1*, std::int32_t, std::int32_t>,
                                                   .done = XdgOutputDone,
                                                   .name = Ignore<zxdg_output_v1*, const char*>,
                                                   .description = Ignore<zxdg_output_v1*, const char*>};

void KeyMap(void* data, wl_keyboard*, std::uint32_t format, std::int32_t fd, std::uint32_t size) {
  auto* st = static_cast<State*>(data);
  if (format == WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1 && st->xkb != nullptr) {
    void* text = mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (text != MAP_FAILED) {
      xkb_keymap* keymap = xkb_keymap_new_from_string(st->xkb, static_cast<const char*>(text), XKB_KEYMAP_FORMAT_TEXT_V1,
                                                      XKB_KEYMAP_COMPILE_NO_FLAGS);
      munmap(text, size);
      if (keymap != nullptr) {
        if (st->keys) xkb_state_unref(st->keys);
        if (st->keymap) xkb_keymap_unref(st->keymap);
        st->keymap = keymap;
        st->keys = xkb_state_new(keymap);
      }
    }
  }
  close(fd);
}
void KeyEnter(void*, wl_keyboard*, std::uint32_t, wl_surface*, wl_array*) {}
void KeyLeave(void* data, wl_keyboard*, std::uint32_t, wl_surface*) { static_cast<State*>(data)->escape_down = false; }
void Key(void* data, wl_keyboard*, std::uint32_t, std::uint32_t, std::uint32_t key, std::uint32_t pressed) {
  auto* st = static_cast<State*>(data);
  // By the key's meaning: a virtual keyboard's keymap may put Escape anywhere.
  const bool escape = st->keys != nullptr && xkb_state_key_get_one_sym(st->keys, key + 8) == XKB_KEY_Escape;
  if (escape) {
    if (pressed == WL_KEYBOARD_KEY_STATE_PRESSED && !st->escape_down) ++st->escape_presses;
    st->escape_down = pressed == WL_KEYBOARD_KEY_STATE_PRESSED;
  } else if (pressed == WL_KEYBOARD_KEY_STATE_PRESSED) {
    st->Input();
  }
}
void Modifiers(void* data, wl_keyboard*, std::uint32_t, std::uint32_t depressed, std::uint32_t latched,
               std::uint32_t locked, std::uint32_t group) {
  auto* st = static_cast<State*>(data);
  if (st->keys) xkb_state_update_mask(st->keys, depressed, latched, locked, 0, 0, group);
}
const wl_keyboard_listener kKeyboardListener = {
    .keymap = KeyMap, .enter = KeyEnter, .leave = KeyLeave, .key = Key, .modifiers = Modifiers,
    .repeat_info = Ignore<wl_keyboard*, std::int32_t, std::int32_t>};

void PointerEnter(void* data, wl_pointer*, std::uint32_t serial, wl_surface*, wl_fixed_t x, wl_fixed_t y) {
  auto* st = static_cast<State*>(data);
  st->pointer_serial = serial;
  st->pointer_seen = true;
  st->pointer_x = wl_fixed_to_double(x);
  st->pointer_y = wl_fixed_to_double(y);
  st->HideCursor();
}
void PointerLeave(void*, wl_pointer*, std::uint32_t, wl_surface*) {}
void PointerMotion(void* data, wl_pointer*, std::uint32_t, wl_fixed_t x, wl_fixed_t y) {
  auto* st = static_cast<State*>(data);
  if (std::abs(wl_fixed_to_double(x) - st->pointer_x) > kPointerJitter ||
      std::abs(wl_fixed_to_double(y) - st->pointer_y) > kPointerJitter)
    st->Input();
}
void PointerButton(void* data, wl_pointer*, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t state) {
  if (state == WL_POINTER_BUTTON_STATE_PRESSED) static_cast<State*>(data)->Input();
}
void PointerAxis(void* data, wl_pointer*, std::uint32_t, std::uint32_t, wl_fixed_t) { static_cast<State*>(data)->Input(); }
const wl_pointer_listener kPointerListener = {
    .enter = PointerEnter, .leave = PointerLeave, .motion = PointerMotion, .button = PointerButton, .axis = PointerAxis,
    .frame = Ignore<wl_pointer*>, .axis_source = Ignore<wl_pointer*, std::uint32_t>,
    .axis_stop = Ignore<wl_pointer*, std::uint32_t, std::uint32_t>,
    .axis_discrete = Ignore<wl_pointer*, std::uint32_t, std::int32_t>,
    .axis_value120 = Ignore<wl_pointer*, std::uint32_t, std::int32_t>};

void SeatCapabilities(void* data, wl_seat* seat, std::uint32_t caps) {
  auto* st = static_cast<State*>(data);
  if ((caps & WL_SEAT_CAPABILITY_KEYBOARD) && st->keyboard == nullptr) {
    st->keyboard = wl_seat_get_keyboard(seat);
    wl_keyboard_add_listener(st->keyboard, &kKeyboardListener, st);
  } else if (!(caps & WL_SEAT_CAPABILITY_KEYBOARD) && st->keyboard != nullptr) {
    wl_keyboard_destroy(st->keyboard);
    st->keyboard = nullptr;
    st->escape_down = false;
  }
  if ((caps & WL_SEAT_CAPABILITY_POINTER) && st->pointer == nullptr) {
    st->pointer = wl_seat_get_pointer(seat);
    wl_pointer_add_listener(st->pointer, &kPointerListener, st);
  } else if (!(caps & WL_SEAT_CAPABILITY_POINTER) && st->pointer != nullptr) {
    wl_pointer_destroy(st->pointer);
    st->pointer = nullptr;
    st->pointer_seen = false;
  }
}
const wl_seat_listener kSeatListener = {.capabilities = SeatCapabilities, .name = Ignore<wl_seat*, const char*>};

void Global(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t version) {
  auto* st = static_cast<State*>(data);
  auto bind = [&](const wl_interface* which, std::uint32_t want) {
    return wl_registry_bind(registry, name, which, std::min(version, want));
  };
  if (!std::strcmp(interface, wl_compositor_interface.name) && version >= 4) {
    st->compositor = static_cast<wl_compositor*>(bind(&wl_compositor_interface, 4));
  } else if (!std::strcmp(interface, wl_shm_interface.name)) {
    st->shm = static_cast<wl_shm*>(bind(&wl_shm_interface, 1));
  } else if (!std::strcmp(interface, xdg_wm_base_interface.name)) {
    st->wm = static_cast<xdg_wm_base*>(bind(&xdg_wm_base_interface, 2));
    xdg_wm_base_add_listener(st->wm, &kWmListener, st);
  } else if (!std::strcmp(interface, zwlr_layer_shell_v1_interface.name)) {
    st->layer_shell = static_cast<zwlr_layer_shell_v1*>(bind(&zwlr_layer_shell_v1_interface, 1));
  } else if (!std::strcmp(interface, wp_viewporter_interface.name)) {
    st->viewporter = static_cast<wp_viewporter*>(bind(&wp_viewporter_interface, 1));
  } else if (!std::strcmp(interface, wp_fractional_scale_manager_v1_interface.name)) {
    st->fractional = static_cast<wp_fractional_scale_manager_v1*>(bind(&wp_fractional_scale_manager_v1_interface, 1));
  } else if (!std::strcmp(interface, zxdg_output_manager_v1_interface.name)) {
    st->xdg_outputs = static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
    for (auto& o : st->monitors) st->Describe(*o);
  } else if (!std::strcmp(interface, wl_seat_interface.name) && st->seat == nullptr) {
    st->seat = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
    wl_seat_add_listener(st->seat, &kSeatListener, st);
  } else if (!std::strcmp(interface, wl_output_interface.name) && version >= 2) {
    auto o = std::make_unique<Monitor>();
    o->state = st;
    o->name = name;
    o->output = static_cast<wl_output*>(bind(&wl_output_interface, 4));
    wl_output_add_listener(o->output, &kOutputListener, o.get());
    st->Describe(*o);
    st->monitors.push_back(std::move(o));
    st->layout_changed = true;
  }
}
void GlobalRemove(void* data, wl_registry*, std::uint32_t name) {
  auto* st = static_cast<State*>(data);
  for (auto& o : st->monitors)
    if (o->name == name && st->window) std::erase(st->window->entered, o.get());
  st->KeepPicture();
  if (std::erase_if(st->monitors, [&](const std::unique_ptr<Monitor>& o) { return o->name == name; }) > 0) st->layout_changed = true;
}
const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

}  // namespace

Surface::~Surface() {
  DropBuffers();
  if (frame) wl_callback_destroy(frame);
  if (fractional) wp_fractional_scale_v1_destroy(fractional);
  if (viewport) wp_viewport_destroy(viewport);
  if (toplevel) xdg_toplevel_destroy(toplevel);
  if (xdg) xdg_surface_destroy(xdg);
  if (layer) zwlr_layer_surface_v1_destroy(layer);
  if (surface) wl_surface_destroy(surface);
}

void Surface::DropBuffers() {
  for (int i = 0; i < pictures.Count(); ++i) wl_buffer_destroy(buffers[i].buffer);
  for (Buffer& b : buffers) b = Buffer{};
  pictures.Drop();
  if (pool) wl_shm_pool_destroy(pool);
  pool = nullptr;
  if (memory) munmap(memory, memory_size);
  memory = nullptr;
  if (pool_fd >= 0) close(pool_fd);
  pool_fd = -1;
}

// Room for every buffer the surface may need at its size, in one pool; the
// buffers themselves are made as they are needed.
bool Surface::MakeBuffers(wl_shm* shm) {
  DropBuffers();
  const std::size_t one = static_cast<std::size_t>(width) * height * 4;
  memory_size = one * kMaxBuffers;
  pool_fd = memfd_create("squarefield", MFD_CLOEXEC);
  if (pool_fd < 0 || ftruncate(pool_fd, static_cast<off_t>(memory_size)) != 0) return false;
  memory = mmap(nullptr, memory_size, PROT_READ | PROT_WRITE, MAP_SHARED, pool_fd, 0);
  if (memory == MAP_FAILED) {
    memory = nullptr;
    return false;
  }
  pool = wl_shm_create_pool(shm, pool_fd, static_cast<std::int32_t>(memory_size));
  return pool != nullptr;
}

WaylandPresenter::State::~State() {
  window.reset();
  monitors.clear();
  if (keyboard) wl_keyboard_destroy(keyboard);
  if (pointer) wl_pointer_destroy(pointer);
  if (seat) wl_seat_destroy(seat);
  if (keys) xkb_state_unref(keys);
  if (keymap) xkb_keymap_unref(keymap);
  if (xkb) xkb_context_unref(xkb);
  if (xdg_outputs) zxdg_output_manager_v1_destroy(xdg_outputs);
  if (fractional) wp_fractional_scale_manager_v1_destroy(fractional);
  if (viewporter) wp_viewporter_destroy(viewporter);
  if (wm) xdg_wm_base_destroy(wm);
  if (layer_shell) wl_proxy_destroy(reinterpret_cast<wl_proxy*>(layer_shell));  // version 1 has no destroy
  if (shm) wl_shm_destroy(shm);
  if (compositor) wl_compositor_destroy(compositor);
  if (registry) wl_registry_destroy(registry);
  if (display) {
    wl_display_flush(display);
    wl_display_disconnect(display);
  }
}

std::vector<Surface*> WaylandPresenter::State::Surfaces() {
  std::vector<Surface*> all;
  if (window) all.push_back(window.get());
  for (auto& o : monitors)
    if (o->surface) all.push_back(o->surface.get());
  return all;
}

// Asks where the desktop lays the output, once both it and the layout's global are known.
void WaylandPresenter::State::Describe(Monitor& o) {
  if (xdg_outputs == nullptr || o.xdg != nullptr) return;
  o.xdg = zxdg_output_manager_v1_get_xdg_output(xdg_outputs, o.output);
  zxdg_output_v1_add_listener(o.xdg, &kXdgOutputListener, &o);
}

Surface* WaylandPresenter::State::NewSurface(Monitor* output) {
  auto s = std::make_unique<Surface>();
  s->state = this;
  s->output = output;
  s->surface = wl_compositor_create_surface(compositor);
  wl_surface_add_listener(s->surface, &kSurfaceListener, s.get());
  if (viewporter) s->viewport = wp_viewporter_get_viewport(viewporter, s->surface);
  if (fractional && viewporter) {
    s->fractional = wp_fractional_scale_manager_v1_get_fractional_scale(fractional, s->surface);
    wp_fractional_scale_v1_add_listener(s->fractional, &kFractionalListener, s.get());
  }
  if (config.wallpaper && output) {
    // Below every window, over the whole output (under panels too), and no
    // input: keys go to the windows, the pointer passes through to nothing.
    s->layer = zwlr_layer_shell_v1_get_layer_surface(layer_shell, s->surface, output->output,
                                                     ZWLR_LAYER_SHELL_V1_LAYER_BACKGROUND, "wallpaper");
    zwlr_layer_surface_v1_add_listener(s->layer, &kLayerListener, s.get());
    zwlr_layer_surface_v1_set_anchor(s->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                                                   ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(s->layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(s->layer, 0);
    wl_region* none = wl_compositor_create_region(compositor);
    wl_surface_set_input_region(s->surface, none);
    wl_region_destroy(none);
  } else {
    s->xdg = xdg_wm_base_get_xdg_surface(wm, s->surface);
    xdg_surface_add_listener(s->xdg, &kXdgSurfaceListener, s.get());
    s->toplevel = xdg_surface_get_toplevel(s->xdg);
    xdg_toplevel_add_listener(s->toplevel, &kToplevelListener, s.get());
    xdg_toplevel_set_title(s->toplevel, "squarefield");
    xdg_toplevel_set_app_id(s->toplevel, "squarefield");
    if (output) xdg_toplevel_set_fullscreen(s->toplevel, output->output);
  }
  // No buffer yet: this asks for the first configure.
  wl_surface_commit(s->surface);
  Surface* made = s.get();
  if (output)
    output->surface = std::move(s);
  else
    window = std::move(s);
  layout_changed = true;
  return made;
}

// Each surface's size in pixels and its part of the framebuffer, from the
// monitors and the sizes the compositor gave.
void WaylandPresenter::State::Lay() {
  layout_changed = false;
  if (full_screen)
    for (auto& o : monitors)
      if (o->done && !o->surface) NewSurface(o.get());
  std::vector<Surface*> shown;
  std::vector<MonitorPlace> points, pixels;
  for (Surface* s : Surfaces()) {
    if (!s->configured) continue;
    int scale = 1;
    if (s->output) scale = s->output->scale;
    for (Monitor* o : s->entered) scale = std::max(scale, o->scale);
    int w, h;
    if (s->viewport && s->scale120 > 0) {
      w = static_cast<int>(std::lround(s->points_width * s->scale120 / 120.0));
      h = static_cast<int>(std::lround(s->points_height * s->scale120 / 120.0));
    } else if (s->viewport && s->output && s->output->Width() > 0) {
      // Full screen on an output: its mode's pixels, whatever the scale, so a
      // fractional scale is shown one to one too.
      w = s->output->Width();
      h = s->output->Height();
    } else {
      w = s->points_width * scale;
      h = s->points_height * scale;
    }
    w = std::max(w, 1);
    h = std::max(h, 1);
    // Whole scales by the buffer's scale, the rest through the viewport: some
    // compositors stop repainting a full-screen surface scaled by a viewport
    // on one output while another output has a scale of its own.
    int whole = 0;
    for (int k = 1; k <= 4 && whole == 0; ++k)
      if (w == s->points_width * k && h == s->points_height * k) whole = k;
    const bool via_viewport = s->viewport != nullptr && whole == 0;
    if (s->viewport) {
      if (via_viewport)
        wp_viewport_set_destination(s->viewport, s->points_width, s->points_height);
      else
        wp_viewport_set_destination(s->viewport, -1, -1);
    }
    s->damage_margin = via_viewport ? (w + s->points_width - 1) / std::max(s->points_width, 1) : 0;
    const int buffer_scale = via_viewport ? 1 : whole > 0 ? whole : scale;
    if (s->buffer_scale != buffer_scale) wl_surface_set_buffer_scale(s->surface, buffer_scale);
    s->buffer_scale = buffer_scale;
    if (w != s->width || h != s->height) {
      s->width = w;
      s->height = h;
      KeepPicture();
      s->DropBuffers();
      s->pictures.Resize(w, h);
    }
    shown.push_back(s);
    const int x = s->output ? s->output->Left() : 0, y = s->output ? s->output->Top() : 0;
    points.push_back({x, y, s->points_width, s->points_height});
    pixels.push_back({0, 0, w, h});
  }
  const std::vector<MonitorPlace> placed = LayMonitors(points, pixels);
  width = height = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (!(shown[i]->area == placed[i])) {
      KeepPicture();
      shown[i]->area = placed[i];
      shown[i]->pictures.AddAll();
    }
    width = std::max(width, placed[i].x + placed[i].width);
    height = std::max(height, placed[i].y + placed[i].height);
  }
}

namespace {
void AskFrame(Surface& s) {
  s.frame = wl_surface_frame(s.surface);
  s.frame_sent = s.frame_asked = std::chrono::steady_clock::now();
  wl_callback_add_listener(s.frame, &kFrameListener, &s);
}
}  // namespace

// Sends what changed to the surface, if the compositor is ready for a frame
// and a buffer is free; otherwise it waits for the next frame callback.
bool WaylandPresenter::State::Flush(Surface& s) {
  if (!s.configured || s.frame != nullptr || s.width <= 0 || !s.pictures.Pending()) return true;
  if (fb == nullptr || fb->Width() != width || fb->Height() != height) return true;
  if (s.pool == nullptr && !s.MakeBuffers(shm)) return false;
  int free_buffer = -1;
  for (int i = 0; i < s.pictures.Count() && free_buffer < 0; ++i)
    if (!s.buffers[i].busy) free_buffer = i;
  if (free_buffer < 0) {
    if (s.pictures.Count() == kMaxBuffers) return true;  // all with the compositor: wait for one
    const std::int32_t stride = s.width * 4;
    const std::size_t offset = static_cast<std::size_t>(stride) * s.height * s.pictures.Count();
    Buffer& b = s.buffers[s.pictures.Count()];
    b.surface = &s;
    b.buffer = wl_shm_pool_create_buffer(s.pool, static_cast<std::int32_t>(offset), s.width, s.height, stride,
                                         WL_SHM_FORMAT_XRGB8888);
    wl_buffer_add_listener(b.buffer, &kBufferListener, &b);
    free_buffer = s.pictures.Add(reinterpret_cast<std::uint32_t*>(static_cast<char*>(s.memory) + offset));
  }
  s.pictures.Draw(free_buffer, *fb, s.area, s.damage);
  Buffer& b = s.buffers[free_buffer];
  wl_surface_attach(s.surface, b.buffer, 0, 0);
  // Through a fractional scale the compositor maps the damage to its own
  // pixels and may round it inwards, leaving a stale pixel at an edge: each
  // box grows by what one desktop point covers.
  const int g = s.damage_margin;
  for (const RECT& r : s.damage)
    wl_surface_damage_buffer(s.surface, r.left - g, r.top - g, r.right - r.left + 2 * g, r.bottom - r.top + 2 * g);
  AskFrame(s);
  wl_surface_commit(s.surface);
  b.busy = true;
  return true;
}

// The frame callback has not come for long: drop it and commit again with a
// new one, and whatever changed meanwhile. The wait still counts from the
// first commit it has not answered, so a surface really not shown stays unseen.
bool WaylandPresenter::State::AskAgain(Surface& s) {
  const auto sent = s.frame_sent;
  wl_callback_destroy(s.frame);
  s.frame = nullptr;
  if (!Flush(s)) return false;
  if (s.frame == nullptr) {
    AskFrame(s);
    wl_surface_commit(s.surface);
  }
  s.frame_sent = sent;
  return true;
}

// Until every surface knows its size (a compositor answers at once).
bool WaylandPresenter::State::AwaitSizes(std::string& error) {
  for (int i = 0; i < 50; ++i) {
    bool all = true;
    for (Surface* s : Surfaces()) all = all && s->configured;
    if (all) return true;
    if (wl_display_roundtrip(display) < 0) {
      error = "lost the connection to the display";
      return false;
    }
  }
  return true;
}

WaylandPresenter::WaylandPresenter() : state_(std::make_unique<State>()) {}
WaylandPresenter::~WaylandPresenter() = default;

bool WaylandPresenter::Open(const HostConfig& config, std::string& error, bool& unreachable) {
  State& st = *state_;
  st.config = config;
  unreachable = false;
  const char* name = std::getenv("WAYLAND_DISPLAY");
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  // libwayland says this on stderr itself, in a line of its own, otherwise.
  if (name && name[0] != '/' && !(runtime && *runtime)) {
    unreachable = true;
    error = "cannot connect to the Wayland display " + std::string(name) + ": XDG_RUNTIME_DIR is not set";
    return false;
  }
  // The library's own complaints (a request that met a closed socket) say
  // less than the one line a lost connection gets from us.
  wl_log_set_handler_client([](const char*, va_list) {});
  st.display = wl_display_connect(nullptr);
  if (st.display == nullptr) {
    unreachable = true;
    error = "cannot connect to the Wayland display " + std::string(name ? name : "wayland-0") + ": " + std::strerror(errno);
    return false;
  }
  st.xkb = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
  st.registry = wl_display_get_registry(st.display);
  wl_registry_add_listener(st.registry, &kRegistryListener, &st);
  // The globals, then what they say of themselves (the monitors' modes).
  if (wl_display_roundtrip(st.display) < 0 || wl_display_roundtrip(st.display) < 0) {
    error = "the Wayland display failed while connecting";
    return false;
  }
  if (config.wallpaper && st.compositor && st.shm && !st.layer_shell) {
    // No other host can put a background under this desktop's windows.
    error = "this Wayland compositor offers no background layer (zwlr_layer_shell_v1) for --wallpaper";
    return false;
  }
  if (!st.compositor || !st.shm || (!st.wm && !config.wallpaper)) {
    unreachable = true;  // a compositor we cannot show a window on: another host may
    error = std::string("the Wayland compositor lacks ") +
            (!st.compositor ? "wl_compositor 4" : !st.shm ? "wl_shm" : "xdg_wm_base");
    return false;
  }
  if (config.windowed) {
    st.NewSurface(nullptr);
  } else {
    st.full_screen = true;
    if (st.monitors.empty()) {
      error = "the display has no monitor to show the field on";
      return false;
    }
    st.Lay();  // a surface per output
  }
  if (!st.AwaitSizes(error)) return false;
  st.Lay();
  if (st.width <= 0 || st.height <= 0) {
    error = "the compositor gave the window no size";
    return false;
  }
  return true;
}

int WaylandPresenter::Width() const { return state_->width; }
int WaylandPresenter::Height() const { return state_->height; }

std::optional<Failure> WaylandPresenter::Pump(PresenterEvents& events) {
  State& st = *state_;
  if (st.display == nullptr) return std::nullopt;
  // Read what the socket has without waiting, and handle it.
  while (wl_display_prepare_read(st.display) != 0) {
    if (wl_display_dispatch_pending(st.display) < 0) break;
  }
  wl_display_flush(st.display);
  pollfd watch{wl_display_get_fd(st.display), POLLIN, 0};
  if (poll(&watch, 1, 0) > 0 && (watch.revents & POLLIN)) {
    wl_display_read_events(st.display);
  } else {
    wl_display_cancel_read(st.display);
  }
  if (wl_display_dispatch_pending(st.display) < 0 || wl_display_get_error(st.display) != 0 ||
      (watch.revents & (POLLHUP | POLLERR))) {
    return HostFailed("lost the connection to the display");
  }
  const auto now = std::chrono::steady_clock::now();
  for (Surface* s : st.Surfaces())
    if (s->frame != nullptr && now - s->frame_asked >= kAskAgainAfter && !st.AskAgain(*s))
      return HostFailed("out of shared memory for the picture");
  events.escape_presses += st.escape_presses;
  st.escape_presses = 0;
  if (st.closed) events.closed = true;
  if (st.layout_changed) {
    const int old_width = st.width, old_height = st.height;
    st.Lay();
    if ((st.width != old_width || st.height != old_height) && st.width > 0 && st.height > 0) {
      events.width = st.width;
      events.height = st.height;
      events.lost_picture = true;
    }
  }
  wl_display_flush(st.display);
  return std::nullopt;
}

std::optional<Failure> WaylandPresenter::Present(const Framebuffer& fb) {
  State& st = *state_;
  st.fb = &fb;
  if (fb.Width() != st.width || fb.Height() != st.height) return std::nullopt;  // a new size, not taken yet
  for (Surface* s : st.Surfaces()) {
    if (fb.FillsFromBlack()) s->pictures.AddBlack(s->area);
    if (fb.FillsReplay() || fb.FillsFromBlack())
      s->pictures.AddFills(fb.Fills(), s->area);
    else
      s->pictures.AddRects(fb.Damage(), s->area);
  }
  for (Surface* s : st.Surfaces())
    if (!st.Flush(*s)) {
      return HostFailed("out of shared memory for the picture");
    }
  if (wl_display_flush(st.display) < 0 && errno != EAGAIN) {
    return HostFailed("lost the connection to the display");
  }
  return std::nullopt;
}

double WaylandPresenter::RefreshRate() const {
  int best = 0;
  for (auto& o : state_->monitors) best = std::max(best, o->refresh_mhz);
  return best > 0 ? best / 1000.0 : 60.0;
}

bool WaylandPresenter::EscapeDown() const { return state_->escape_down; }

// A compositor asks for no frame of a surface it does not show (another
// workspace, covered, its output asleep): when every surface has had a frame
// waiting for that long, nothing of the field is seen. A frame callback ends it.
bool WaylandPresenter::Unseen() {
  State& st = *state_;
  const auto surfaces = st.Surfaces();
  if (surfaces.empty()) return st.full_screen;  // every output gone
  const auto now = std::chrono::steady_clock::now();
  for (const Surface* s : surfaces)
    if (s->frame == nullptr || now - s->frame_sent < kUnseenAfter) return false;
  return true;
}

void WaylandPresenter::CursorCountChanged(int count) {
  if (state_->config.wallpaper) return;  // a background leaves the cursor to the desktop
  state_->cursor_hidden = count < 0;
  state_->HideCursor();
}

bool WaylandPresenter::State::HoldsPicture() {
  const auto surfaces = Surfaces();
  if (fb == nullptr || fb->Width() != width || fb->Height() != height || surfaces.empty()) return false;
  std::int64_t covered = 0;
  for (const Surface* s : surfaces) {
    if (!s->pictures.HoldsPicture(s->area)) return false;
    covered += std::int64_t{s->area.width} * s->area.height;
  }
  // The surfaces do not overlap: all of the field is shown when their areas add up to it.
  return covered == std::int64_t{width} * height;
}

bool WaylandPresenter::HoldsPicture() const { return state_->HoldsPicture(); }

void WaylandPresenter::ReadPicture(std::span<std::uint32_t> pixels, int width, int height) {
  for (Surface* s : state_->Surfaces()) s->pictures.ReadPicture(pixels, width, height);
}

void WaylandPresenter::Sleep(double seconds) {
  State& st = *state_;
  bool waiting = false;
  for (const Surface* s : st.Surfaces()) waiting = waiting || s->pictures.Pending();
  if (st.display == nullptr || (seconds < kShortSleep && !waiting)) return SleepFor(seconds);
  // Asleep until the compositor says something (a key, a frame callback), or the time is up.
  if (wl_display_prepare_read(st.display) != 0) return;  // events already queued
  wl_display_flush(st.display);
  if (WaitReadable(wl_display_get_fd(st.display), seconds)) {
    wl_display_read_events(st.display);
  } else {
    wl_display_cancel_read(st.display);
  }
}

void WaylandPresenter::Unloaded() {
  // The surfaces go at once; the connection stays for the end of the run.
  State& st = *state_;
  st.KeepPicture();
  st.fb = nullptr;
  st.window.reset();
  for (auto& o : st.monitors) o->surface.reset();
  st.full_screen = false;
  if (st.display) wl_display_flush(st.display);
}

void WaylandPresenter::Finish() { Unloaded(); }

Opened OpenWaylandHost(const HostConfig& config) {
  auto presenter = std::make_unique<WaylandPresenter>();
  std::string error;
  bool unreachable = false;
  if (!presenter->Open(config, error, unreachable))
    return Opened::Failed(unreachable ? OpenFailure::Kind::Unreachable : OpenFailure::Kind::Refused, error);
  const int width = presenter->Width(), height = presenter->Height();
  return {std::make_unique<FramebufferHost>(std::move(presenter), width, height), {}};
}

}  // namespace squarefield
