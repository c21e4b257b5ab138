// --wallpaper on a Wayland compositor without the layer shell (as GNOME's):
// refused with status 2 and one line, never put in a window instead. The
// compositor here is a bare one of our own that offers only wl_compositor and
// wl_shm. Usage: no_layer_shell path/to/squarefield
#include <cstdio>
#include <string>

#include "bare_compositor.h"

namespace {

// Binding is all a client can do here: the objects answer no request.
void Bind(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource_create(client, &wl_compositor_interface, static_cast<int>(version), id);
}
void BindShm(wl_client* client, void*, std::uint32_t version, std::uint32_t id) {
  wl_resource_create(client, &wl_shm_interface, static_cast<int>(version), id);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  BareCompositor compositor;
  wl_global_create(compositor.display, &wl_compositor_interface, 4, nullptr, Bind);
  wl_global_create(compositor.display, &wl_shm_interface, 1, nullptr, BindShm);
  int err[2];
  if (!compositor.Ready() || pipe(err) != 0) return 2;
  char wallpaper[] = "--wallpaper";
  char* const args[] = {argv[1], wallpaper, nullptr};
  const pid_t child = compositor.Start(args, err[1]);
  close(err[1]);
  int status = 0;
  compositor.Serve(child, std::chrono::seconds(10), status);
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  const std::string expected =
      "squarefield: cannot run on the desktop: this Wayland compositor offers no background layer "
      "(zwlr_layer_shell_v1) for --wallpaper\n";
  const bool exited = WIFEXITED(status);
  const int code = exited ? WEXITSTATUS(status) : -1;
  std::printf("--wallpaper without a layer shell: status %d, said: %s", code, said.c_str());
  if (!exited || code != 2 || said != expected) {
    std::printf("FAIL: expected status 2 and: %s", expected.c_str());
    return 1;
  }
  return 0;
}
