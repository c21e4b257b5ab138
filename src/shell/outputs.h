// The files a run can write, one line each in the table (outputs.cpp): the
// command line's options and their conflicts, and what a run opens before it
// and finishes after it, all follow the table. A new kind of output is a line
// there and its exporter.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "hosts/host.h"
#include "runtime/failure.h"

namespace squarefield {

enum class OutputKind { Trace, Png, Gif };
inline constexpr std::size_t kOutputKinds = 3;

// A path for each kind of output; empty: not asked for.
class OutputPaths {
 public:
  std::string& operator[](OutputKind kind) { return paths_[static_cast<std::size_t>(kind)]; }
  const std::string& operator[](OutputKind kind) const { return paths_[static_cast<std::size_t>(kind)]; }

 private:
  std::array<std::string, kOutputKinds> paths_;
};

struct RunConfig;
struct Recording;

// One kind of output while a run writes it.
class Exporter {
 public:
  virtual ~Exporter() = default;
  // Before the run: opens its file, and adds what it records to `recording`.
  virtual std::optional<Failure> Open(Recording& recording) = 0;
  // After the run, however it ended: finishes its file; a line for `problems` if it could not.
  virtual void Finish(bool out_of_memory, std::vector<std::string>& problems) = 0;
  // A stop signal ended a wait for its file's reader: nothing was written.
  virtual bool Stopped() const { return false; }
  // Written only after the run (the last picture): finished after those written during it.
  virtual bool WrittenAtEnd() const { return false; }
};

struct OutputLine {
  OutputKind kind;
  const char* option;  // its command-line option, "--png"
  const char* name;    // in a sentence: "PNG"
  const char* help;    // its line in --help
  bool headless_only;  // made from the in-memory screen's pixels
  bool built;          // this build can write it
  // The exporter writing `path` for a run on `host` (null: nothing to write there).
  std::unique_ptr<Exporter> (*make)(const std::string& path, Host& host, const RunConfig& config);
};

// Every kind, in the order they are opened, finished and listed.
std::span<const OutputLine> OutputKindsTable();

// Where a problem with the output at `path` is said: its name, or "standard output".
std::string OutputProblem(const std::string& path, const std::string& why);

}  // namespace squarefield
