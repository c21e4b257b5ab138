// --wallpaper on a Wayland compositor without the layer shell (as GNOME's):
// refused with status 2 and one line, never put in a window instead. The
// compositor here is a bare one of our own that offers only wl_compositor and
// wl_shm. Usage: no_layer_shell path/to/squarefield
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-server.h>

#include <cstdio>
#include <cstdlib>
#include <string>

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
  char runtime[] = "/tmp/squarefield-wl-XXXXXX";
  if (mkdtemp(runtime) == nullptr) return 2;
  setenv("XDG_RUNTIME_DIR", runtime, 1);
  wl_display* display = wl_display_create();
  const char* socket = wl_display_add_socket_auto(display);
  wl_global_create(display, &wl_compositor_interface, 4, nullptr, Bind);
  wl_global_create(display, &wl_shm_interface, 1, nullptr, BindShm);
  int err[2];
  if (socket == nullptr || pipe(err) != 0) return 2;
  const pid_t child = fork();
  if (child == 0) {
    dup2(err[1], 2);
    setenv("WAYLAND_DISPLAY", socket, 1);
    unsetenv("DISPLAY");
    unsetenv("SQUAREFIELD_HOST");
    execl(argv[1], argv[1], "--wallpaper", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(err[1]);
  wl_event_loop* loop = wl_display_get_event_loop(display);
  int status = 0;
  for (int i = 0; i < 1000 && waitpid(child, &status, WNOHANG) == 0; ++i) {
    wl_event_loop_dispatch(loop, 10);
    wl_display_flush_clients(display);
  }
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  wl_display_destroy(display);
  rmdir(runtime);
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
