#include "shell/outputs.h"

#include <cmath>
#include <cstring>

#include "app/program.h"
#include "runtime/stop_request.h"
#include "shell/output_file.h"
#include "shell/png_export.h"
#include "shell/run.h"
#include "shell/stop.h"
#ifdef SQUAREFIELD_HAS_GIF
#include "shell/gif_export.h"
#endif

namespace squarefield {

std::string OutputProblem(const std::string& path, const std::string& why) {
  return (path == "-" ? std::string("standard output") : ShownName(path, false)) + ": " +
         (why.empty() ? "could not be written" : why);
}

namespace {

// An output opened before the run: a stop that came while it waited (a FIFO
// with no reader yet) is a stop before anything ran, not a failure to write.
Failure NotOpened(const std::string& path, const std::string& why) {
  if (StopSignal() != 0) return Failure(Failure::Kind::Stopped, std::vector<std::string>{});
  return Failure(Failure::Kind::Output, OutputProblem(path, why));
}

// Every platform call, a line each.
class TraceExporter final : public Exporter {
 public:
  TraceExporter(const std::string& path, Host& host) : path_(path), host_(host) {}

  std::optional<Failure> Open(Recording& recording) override {
    std::string why;
    file_ = std::make_unique<OutputFile>(path_);
    if (!file_->Open(why)) return NotOpened(path_, why);
    static char buffer[1 << 16];
    std::setvbuf(file_->Stream(), buffer, _IOFBF, sizeof buffer);
    // The screen's size in pixels, as the form sees it.
    const ScreenObject screen = host_.Screen();
    std::fprintf(file_->Stream(), "# squarefield %s %ldx%ld\n", kVersion, std::lround(screen.Width / screen.TwipsPerPixelX),
                 std::lround(screen.Height / screen.TwipsPerPixelY));
    recording.trace = file_->Stream();
    // Writes that fail for good (its reader gone, the disk full) end the run
    // at once, as a stop does; Finish then says why.
    recording.AfterEachFrame([this] {
      if (std::ferror(file_->Stream())) RequestStop();
    });
    return std::nullopt;
  }

  void Finish(bool, std::vector<std::string>& problems) override {
    std::string why;
    if (file_ && !file_->Commit(why)) problems.push_back(OutputProblem(path_, why));
    file_.reset();
  }

 private:
  std::string path_;
  Host& host_;
  std::unique_ptr<OutputFile> file_;
};

// The screen after the last frame; after a run-time error, as the error left it.
class PngExporter final : public Exporter {
 public:
  PngExporter(const std::string& path, const Framebuffer& pixels) : path_(path), pixels_(pixels) {}

  std::optional<Failure> Open(Recording&) override { return std::nullopt; }  // written once, at the end

  void Finish(bool out_of_memory, std::vector<std::string>& problems) override {
    if (out_of_memory) return;
    OutputFile png(path_);
    std::string why;
    int write_error = 0;
    bool written = png.Open(why) && WritePng(pixels_, png.Stream(), write_error);
    if (!written && why.empty() && write_error != 0) why = std::strerror(write_error);
    written = written && png.Commit(why);
    // A signal while it waited for a FIFO's reader, or before a reader came:
    // the signal's own end, as before the run.
    if (!written && png.Stream() == nullptr && StopSignal() != 0)
      stopped_ = true;
    else if (!written)
      problems.push_back(OutputProblem(path_, why));
  }
  bool Stopped() const override { return stopped_; }
  bool WrittenAtEnd() const override { return true; }

 private:
  std::string path_;
  const Framebuffer& pixels_;
  bool stopped_ = false;
};

#ifdef SQUAREFIELD_HAS_GIF
// Every frame, at the run's pace (50 a second unpaced).
class GifExporter final : public Exporter {
 public:
  GifExporter(const std::string& path, const Framebuffer& pixels, const RunConfig& config)
      : path_(path), pixels_(pixels), fps_(config.fps && *config.fps > 0 ? *config.fps : 50) {}

  std::optional<Failure> Open(Recording& recording) override {
    std::string why;
    file_ = std::make_unique<OutputFile>(path_);
    if (!file_->Open(why)) return NotOpened(path_, why);
    gif_ = std::make_unique<GifRecorder>(file_->Stream(), pixels_.Width(), pixels_.Height(), GifDelay(fps_));
    recording.AfterEachFrame([this] { gif_->AddFrame(pixels_); });
    return std::nullopt;
  }

  // Escape, --frames and a signal all end here: the animation so far is kept whole.
  void Finish(bool, std::vector<std::string>& problems) override {
    if (!gif_) return;
    // A run that ended before its first frame (a run-time error at once) still
    // leaves an animation: the screen as it was, as its one frame.
    if (gif_->Frames() == 0) gif_->AddFrame(pixels_);
    std::string why;
    const bool finished = gif_->Finish();
    if (!finished) why = gif_->WriteError() != 0 ? std::strerror(gif_->WriteError()) : "the encoder failed";
    if (!(finished && file_->Commit(why))) problems.push_back(OutputProblem(path_, why));
    gif_.reset();
  }

 private:
  std::string path_;
  const Framebuffer& pixels_;
  double fps_;
  std::unique_ptr<OutputFile> file_;
  std::unique_ptr<GifRecorder> gif_;
};
#endif

constexpr bool kHasGif =
#ifdef SQUAREFIELD_HAS_GIF
    true;
#else
    false;
#endif

const OutputLine kOutputs[] = {
    {OutputKind::Trace, "--trace", "trace", "Log every platform call to FILE ('-': standard output)", false, true,
     [](const std::string& path, Host& host, const RunConfig&) -> std::unique_ptr<Exporter> {
       return std::make_unique<TraceExporter>(path, host);
     }},
    {OutputKind::Png, "--png", "PNG", "Save the screen after the last frame as a PNG image (with --headless)", true,
     true,
     [](const std::string& path, Host& host, const RunConfig&) -> std::unique_ptr<Exporter> {
       if (host.Pixels() == nullptr) return nullptr;
       return std::make_unique<PngExporter>(path, *host.Pixels());
     }},
    {OutputKind::Gif, "--gif", "GIF", "Save every frame as a looping animated GIF (with --headless)", true, kHasGif,
     [](const std::string& path, Host& host, const RunConfig& config) -> std::unique_ptr<Exporter> {
#ifdef SQUAREFIELD_HAS_GIF
       if (host.Pixels() != nullptr) return std::make_unique<GifExporter>(path, *host.Pixels(), config);
#else
       (void)path, (void)host, (void)config;
#endif
       return nullptr;
     }},
};
static_assert(std::size(kOutputs) == kOutputKinds, "a line for every kind of output");

}  // namespace

std::span<const OutputLine> OutputKindsTable() { return kOutputs; }

}  // namespace squarefield
