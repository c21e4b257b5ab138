// Frame-step benchmark: the real program (a run of Form1 on the headless host, no trace)
// for FRAMES frames at WIDTHxHEIGHT; prints frames/s, ns per particle and the
// peak resident memory over the framebuffer's own size.
// Usage: squarefield_bench [FRAMES [WIDTH HEIGHT]]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "hosts/framebuffer/framebuffer.h"
#include "hosts/headless/headless_host.h"
#include "shell/run.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#endif

using namespace squarefield;

int main(int argc, char** argv) {
  const long frames = argc > 1 ? std::atol(argv[1]) : 20000;
  const int width = argc > 3 ? std::atoi(argv[2]) : 1920;
  const int height = argc > 3 ? std::atoi(argv[3]) : 1080;
  if (frames < 1 || width < 1 || height < 1) {
    std::fprintf(stderr, "usage: squarefield_bench [FRAMES [WIDTH HEIGHT]]\n");
    return 2;
  }

  auto headless = MakeHeadlessHost(width, height);
  FramebufferHost& host = *headless;
  const Framebuffer& framebuffer = *host.Pixels();
  RunConfig config;
  config.frames = frames;
  config.seed = 1;

  const auto t0 = std::chrono::steady_clock::now();
  const auto failure = RunEffect(host, config);
  const double dt = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (failure) {
    std::fprintf(stderr, "%s\n", failure->lines.front().c_str());
    return 1;
  }
  unsigned long long lit = 0;
  for (auto pixel : framebuffer.Picture()) lit += pixel & 1;
  std::printf("%ld frames in %.3f s: %.0f frames/s, %.1f ns/particle, lit %llu\n", frames, dt, frames / dt,
              dt * 1e9 / (frames * 401.0), lit);
#if !defined(_WIN32)
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double fb_mib = static_cast<double>(framebuffer.Width()) * framebuffer.Height() / 1048576;
  const double peak_mib = static_cast<double>(usage.ru_maxrss) / 1024;
  std::printf("peak resident %.2f MiB, framebuffer %.2f MiB, over it %.2f MiB\n", peak_mib, fb_mib,
              peak_mib - fb_mib);
#endif
  return 0;
}
