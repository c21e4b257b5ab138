#include "shell/run.h"

#include <cstring>
#include <memory>

#include "app/program.h"
#include "platform/headless/png_export.h"
#include "shell/output_file.h"
#include "shell/stop.h"
#ifdef SQUAREFIELD_HAS_GIF
#include "platform/headless/gif_export.h"
#endif

namespace squarefield {

namespace {

std::string Problem(const std::string& path, const std::string& why) {
  return (path == "-" ? std::string("standard output") : path) + ": " + (why.empty() ? "could not be written" : why);
}

// An output opened before the run: a stop that came while it waited (a FIFO
// with no reader yet) is a stop before anything ran, not a failure to write.
Failure NotOpened(const std::string& path, const std::string& why) {
  if (StopSignal() != 0) return Failure(Failure::Kind::Stopped, std::vector<std::string>{});
  return Failure(Failure::Kind::Output, Problem(path, why));
}

}  // namespace

std::optional<Failure> RunEffect(Host& host, const RunConfig& config) {
  std::vector<std::string> problems;
  std::string why;

  std::unique_ptr<OutputFile> trace_file;
  if (!config.trace.empty()) {
    trace_file = std::make_unique<OutputFile>(config.trace);
    if (!trace_file->Open(why)) return NotOpened(config.trace, why);
    static char buffer[1 << 16];
    std::setvbuf(trace_file->Stream(), buffer, _IOFBF, sizeof buffer);
    std::fprintf(trace_file->Stream(), "# squarefield %s %dx%d\n", kVersion, host.PixelWidth(), host.PixelHeight());
  }

  Recording recording;
  recording.trace = trace_file ? trace_file->Stream() : nullptr;
#ifdef SQUAREFIELD_HAS_GIF
  std::unique_ptr<OutputFile> gif_file;
  std::unique_ptr<GifRecorder> gif;
  if (!config.gif.empty() && host.Pixels() != nullptr) {
    gif_file = std::make_unique<OutputFile>(config.gif);
    if (!gif_file->Open(why)) return NotOpened(config.gif, why);
    const Framebuffer& pixels = *host.Pixels();
    gif = std::make_unique<GifRecorder>(gif_file->Stream(), pixels.Width(), pixels.Height(),
                                        GifDelay(config.fps && *config.fps > 0 ? *config.fps : 50));
    recording.on_frame = [&] { gif->AddFrame(pixels); };
  }
#endif

  const Ended ended = RunForm(host, config, recording);

  // Every output that can be finished is, whatever became of the others.
  if (trace_file && !trace_file->Commit(why)) problems.push_back(Problem(config.trace, why));
#ifdef SQUAREFIELD_HAS_GIF
  // Escape, --frames and a signal all end here: the animation so far is kept whole.
  if (gif) {
    // A run that ended before its first frame (a run-time error at once) still
    // leaves an animation: the screen as it was, as its one frame.
    if (gif->Frames() == 0) gif->AddFrame(*host.Pixels());
    const bool finished = gif->Finish();
    if (!finished) why = gif->WriteError() != 0 ? std::strerror(gif->WriteError()) : "the encoder failed";
    if (!(finished && gif_file->Commit(why))) problems.push_back(Problem(config.gif, why));
  }
#endif
  // After a run-time error the screen is saved as the error left it.
  if (!config.png.empty() && host.Pixels() != nullptr && !ended.out_of_memory) {
    OutputFile png(config.png);
    why.clear();
    int write_error = 0;
    bool written = png.Open(why) && WritePng(*host.Pixels(), png.Stream(), write_error);
    if (!written && why.empty() && write_error != 0) why = std::strerror(write_error);
    written = written && png.Commit(why);
    if (!written) problems.push_back(Problem(config.png, why));
  }

  if (auto failure = FailureOf(ended, problems)) return failure;
  if (!problems.empty()) return Failure(Failure::Kind::Output, problems);
  return std::nullopt;
}

}  // namespace squarefield
