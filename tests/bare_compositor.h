// A compositor of a test's own, for what a real one cannot be made to do: a
// runtime folder and a socket of its own, the globals the test offers, and
// the program run against it. Header-only: each test is one file.
#pragma once

#include <sys/wait.h>
#include <unistd.h>
#include <wayland-server.h>

#include <chrono>
#include <cstdlib>

class BareCompositor {
 public:
  BareCompositor() {
    if (mkdtemp(runtime_) == nullptr) return;
    setenv("XDG_RUNTIME_DIR", runtime_, 1);
    display = wl_display_create();
    socket_ = wl_display_add_socket_auto(display);
  }
  ~BareCompositor() {
    if (display) wl_display_destroy(display);
    rmdir(runtime_);
  }
  bool Ready() const { return display != nullptr && socket_ != nullptr; }

  // Runs the program with `argv` (null-terminated) against this compositor,
  // its standard error into `err_fd` where one is given.
  pid_t Start(char* const argv[], int err_fd = -1) {
    const pid_t child = fork();
    if (child == 0) {
      if (err_fd >= 0) dup2(err_fd, 2);
      setenv("WAYLAND_DISPLAY", socket_, 1);
      unsetenv("DISPLAY");
      unsetenv("SQUAREFIELD_HOST");
      execv(argv[0], argv);
      _exit(127);
    }
    return child;
  }

  // Serves its clients for `limit`, or until `child` ends (its wait status in
  // `status`); true when it ended.
  bool Serve(pid_t child, std::chrono::milliseconds limit, int& status) {
    wl_event_loop* loop = wl_display_get_event_loop(display);
    const auto start = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - start < limit) {
      if (waitpid(child, &status, WNOHANG) == child) return true;
      wl_event_loop_dispatch(loop, 10);
      wl_display_flush_clients(display);
    }
    return false;
  }

  wl_display* display = nullptr;

 private:
  char runtime_[32] = "/tmp/squarefield-wl-XXXXXX";
  const char* socket_ = nullptr;
};
