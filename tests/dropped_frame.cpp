// A compositor that drops a frame callback must not freeze the picture. The
// compositor here is a bare one of the test's own, with one 1280x720 output:
// it never answers the first frame callback the program asks for, answers
// every later one at once, and gives each buffer back when the next is shown.
// The program must go on showing new pictures at its pace.
// Usage: dropped_frame path/to/squarefield
#include <signal.h>

#include <cstdio>
#include <string_view>

#include "bare_compositor.h"
#include "xdg-shell-client-protocol.h"

namespace {

struct Server {
  int frames_asked = 0;
  int shown = 0;                      // commits with a new buffer
  wl_resource* attached = nullptr;    // the buffer the next commit shows
  wl_resource* on_screen = nullptr;
  wl_resource* callback = nullptr;    // the frame callback the next commit answers
};
Server server;

int Dispatch(const void*, void* target, std::uint32_t opcode, const wl_message* message, wl_argument* args);

wl_resource* Make(wl_client* client, const wl_interface* interface, int version, std::uint32_t id) {
  wl_resource* r = wl_resource_create(client, interface, version, id);
  wl_resource_set_dispatcher(r, Dispatch, nullptr, nullptr, nullptr);
  return r;
}

// Every request of every object lands here: new objects are made as asked,
// destructors destroy, and the few requests that matter are acted on.
int Dispatch(const void*, void* target, std::uint32_t, const wl_message* message, wl_argument* args) {
  auto* self = static_cast<wl_resource*>(target);
  wl_client* client = wl_resource_get_client(self);
  const std::string_view cls = wl_resource_get_class(self), name = message->name;
  wl_resource* made = nullptr;
  int i = 0;
  for (const char* c = message->signature; *c; ++c) {
    if (*c == '?' || (*c >= '0' && *c <= '9')) continue;
    if (*c == 'n') made = Make(client, message->types[i], wl_resource_get_version(self), args[i].n);
    ++i;
  }
  if (name == "destroy" || name == "release") {
    if (self == server.attached) server.attached = nullptr;
    if (self == server.on_screen) server.on_screen = nullptr;
    wl_resource_destroy(self);
  } else if (cls == "xdg_surface" && name == "get_toplevel") {
    wl_array states;
    wl_array_init(&states);
    wl_resource_post_event(made, 0 /* configure */, 1280, 720, &states);
    wl_resource_post_event(self, 0 /* configure */, 1u);
  } else if (cls == "wl_surface" && name == "frame") {
    // The first is dropped: it stays unanswered for good.
    if (server.frames_asked++ > 0) server.callback = made;
  } else if (cls == "wl_surface" && name == "attach") {
    server.attached = args[0].o ? reinterpret_cast<wl_resource*>(args[0].o) : nullptr;
  } else if (cls == "wl_surface" && name == "commit") {
    if (server.attached) {
      if (server.on_screen && server.on_screen != server.attached) wl_resource_post_event(server.on_screen, 0);  // release
      server.on_screen = server.attached;
      server.attached = nullptr;
      ++server.shown;
    }
    if (server.callback) {
      wl_resource_post_event(server.callback, 0, 0u);  // done
      wl_resource_destroy(server.callback);
      server.callback = nullptr;
    }
  }
  return 0;
}

void BindCompositor(wl_client* c, void*, std::uint32_t v, std::uint32_t id) { Make(c, &wl_compositor_interface, static_cast<int>(v), id); }
void BindShm(wl_client* c, void*, std::uint32_t v, std::uint32_t id) { Make(c, &wl_shm_interface, static_cast<int>(v), id); }
void BindWm(wl_client* c, void*, std::uint32_t v, std::uint32_t id) { Make(c, &xdg_wm_base_interface, static_cast<int>(v), id); }
void BindOutput(wl_client* c, void*, std::uint32_t v, std::uint32_t id) {
  wl_resource* o = Make(c, &wl_output_interface, static_cast<int>(v), id);
  wl_resource_post_event(o, WL_OUTPUT_GEOMETRY, 0, 0, 0, 0, 0, "test", "test", 0);
  wl_resource_post_event(o, WL_OUTPUT_MODE, static_cast<std::uint32_t>(WL_OUTPUT_MODE_CURRENT), 1280, 720, 60000);
  wl_resource_post_event(o, WL_OUTPUT_SCALE, 1);
  wl_resource_post_event(o, WL_OUTPUT_DONE);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  BareCompositor compositor;
  wl_global_create(compositor.display, &wl_compositor_interface, 4, nullptr, BindCompositor);
  wl_global_create(compositor.display, &wl_shm_interface, 1, nullptr, BindShm);
  wl_global_create(compositor.display, &xdg_wm_base_interface, 2, nullptr, BindWm);
  wl_global_create(compositor.display, &wl_output_interface, 2, nullptr, BindOutput);
  if (!compositor.Ready()) return 2;
  char fps[] = "--fps", thirty[] = "30";
  char* const args[] = {argv[1], fps, thirty, nullptr};
  const pid_t child = compositor.Start(args);
  int status = 0;
  compositor.Serve(child, std::chrono::seconds(4), status);
  kill(child, SIGTERM);
  compositor.Serve(child, std::chrono::seconds(3), status);
  const bool clean = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  // At --fps 30 for 4 s, with one second lost to the dropped callback: about 90.
  std::printf("a dropped frame callback: %d pictures shown in 4 s at --fps 30; the run ended %s\n", server.shown,
              clean ? "cleanly" : "badly");
  if (server.shown < 60 || !clean) {
    std::printf("FAIL: the picture froze on the dropped frame callback, or the run did not end cleanly\n");
    return 1;
  }
  return 0;
}
