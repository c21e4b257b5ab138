#include "shell/run.h"

#include <cstring>
#include <memory>

#include "app/program.h"
#include "hosts/headless/png_export.h"
#include "runtime/stop_request.h"
#include "shell/output_file.h"
#include "shell/stop.h"
#ifdef SQUAREFIELD_HAS_GIF
#include "hosts/headless/gif_export.h"
#endif

namespace squarefield {

namespace {

std::string Problem(const std::string& path, const std::string& why) {
  return (path == "-" ? std::string("standard output") : ShownName(path, false)) + ": " +
         (why.empty() ? "could not be written" : why);
}

// An output opened before the run: a stop that came while it waited (a FIFO
// with no reader yet) is a stop before anything ran, not a failure to write.
Failure NotOpened(const std::string& path, const std::string& why) {
  if (StopSignal() != 0) return Failure(Failure::Kind::Stopped, std::vector<std::string>{});
  return Failure(Failure::Kind::Output, Problem(path, why));
}

// The run's output files, from opening them before the run to finishing them after it.
class Outputs {
 public:
  Outputs(Host& host, const RunConfig& config) : host_(host), config_(config) {}

  std::optional<Failure> Open(Recording& recording) {
    std::string why;
    if (!config_.trace.empty()) {
      trace_ = std::make_unique<OutputFile>(config_.trace);
      if (!trace_->Open(why)) return NotOpened(config_.trace, why);
      static char buffer[1 << 16];
      std::setvbuf(trace_->Stream(), buffer, _IOFBF, sizeof buffer);
      std::fprintf(trace_->Stream(), "# squarefield %s %dx%d\n", kVersion, host_.PixelWidth(), host_.PixelHeight());
      recording.trace = trace_->Stream();
    }
#ifdef SQUAREFIELD_HAS_GIF
    if (!config_.gif.empty() && host_.Pixels() != nullptr) {
      gif_file_ = std::make_unique<OutputFile>(config_.gif);
      if (!gif_file_->Open(why)) return NotOpened(config_.gif, why);
      const Framebuffer& pixels = *host_.Pixels();
      gif_ = std::make_unique<GifRecorder>(gif_file_->Stream(), pixels.Width(), pixels.Height(),
                                           GifDelay(config_.fps && *config_.fps > 0 ? *config_.fps : 50));
      recording.on_frame = [this, &pixels] { gif_->AddFrame(pixels); };
    }
#endif
    // A trace whose writes fail for good (its reader gone, the disk full) ends
    // the run at once, as a stop does; Finish then says why.
    if (trace_) {
      recording.on_frame = [this, record = std::move(recording.on_frame)] {
        if (record) record();
        if (std::ferror(trace_->Stream())) RequestStop();
      };
    }
    return std::nullopt;
  }

  // A stop signal ended a wait for an output's reader: nothing was written there.
  bool Stopped() const { return stopped_; }

  // Every output that can be finished is, whatever became of the others: one line per one that was not.
  std::vector<std::string> Finish(bool out_of_memory) {
    std::vector<std::string> problems;
    std::string why;
    if (trace_ && !trace_->Commit(why)) problems.push_back(Problem(config_.trace, why));
    trace_.reset();
#ifdef SQUAREFIELD_HAS_GIF
    // Escape, --frames and a signal all end here: the animation so far is kept whole.
    if (gif_) {
      // A run that ended before its first frame (a run-time error at once) still
      // leaves an animation: the screen as it was, as its one frame.
      if (gif_->Frames() == 0) gif_->AddFrame(*host_.Pixels());
      const bool finished = gif_->Finish();
      if (!finished) why = gif_->WriteError() != 0 ? std::strerror(gif_->WriteError()) : "the encoder failed";
      if (!(finished && gif_file_->Commit(why))) problems.push_back(Problem(config_.gif, why));
      gif_.reset();
    }
#endif
    // After a run-time error the screen is saved as the error left it.
    if (!config_.png.empty() && host_.Pixels() != nullptr && !out_of_memory) {
      OutputFile png(config_.png);
      why.clear();
      int write_error = 0;
      bool written = png.Open(why) && WritePng(*host_.Pixels(), png.Stream(), write_error);
      if (!written && why.empty() && write_error != 0) why = std::strerror(write_error);
      written = written && png.Commit(why);
      // A signal while it waited for a FIFO's reader, or before a reader came:
      // the signal's own end, as before the run.
      if (!written && png.Stream() == nullptr && StopSignal() != 0)
        stopped_ = true;
      else if (!written)
        problems.push_back(Problem(config_.png, why));
    }
    return problems;
  }

 private:
  Host& host_;
  const RunConfig& config_;
  bool stopped_ = false;
  std::unique_ptr<OutputFile> trace_;
#ifdef SQUAREFIELD_HAS_GIF
  std::unique_ptr<OutputFile> gif_file_;
  std::unique_ptr<GifRecorder> gif_;
#endif
};

}  // namespace

std::optional<Failure> RunEffect(Host& host, const RunConfig& config) {
  Outputs outputs(host, config);
  Recording recording;
  if (auto failure = outputs.Open(recording)) return failure;
  // A display lost for good ends the program from inside the host (Xlib allows
  // no return): what was recorded up to then is finished first all the same.
  SetFatalFinisher([&outputs] {
    for (const std::string& line : outputs.Finish(false)) std::fprintf(stderr, "squarefield: %s\n", line.c_str());
  });
  std::optional<Failure> failure = RunForm(host, config, recording);
  SetFatalFinisher(nullptr);
  const std::vector<std::string> problems =
      outputs.Finish(failure && failure->kind == Failure::Kind::OutOfMemory);
  // What ended the run first, then what could not be written.
  if (failure) {
    failure->lines.insert(failure->lines.end(), problems.begin(), problems.end());
    return failure;
  }
  if (!problems.empty()) return Failure(Failure::Kind::Output, problems);
  if (outputs.Stopped()) return Failure(Failure::Kind::Stopped, std::vector<std::string>{});
  return std::nullopt;
}

}  // namespace squarefield
