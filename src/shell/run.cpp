#include "shell/run.h"

#include <cstdio>
#include <memory>
#include <vector>

#include "shell/outputs.h"
#include "shell/stop.h"

namespace squarefield {

namespace {

// The run's output files, from opening them before the run to finishing them
// after it: one exporter for each asked for, as the outputs' table makes them.
class Outputs {
 public:
  Outputs(Host& host, const RunConfig& config) {
    for (const OutputLine& line : OutputKindsTable()) {
      const std::string& path = config.outputs[line.kind];
      if (path.empty() || !line.built) continue;
      if (auto exporter = line.make(path, host, config)) exporters_.push_back(std::move(exporter));
    }
  }

  std::optional<Failure> Open(Recording& recording) {
    for (auto& exporter : exporters_)
      if (auto failure = exporter->Open(recording)) return failure;
    return std::nullopt;
  }

  // A stop signal ended a wait for an output's reader: nothing was written there.
  bool Stopped() const {
    for (const auto& exporter : exporters_)
      if (exporter->Stopped()) return true;
    return false;
  }

  // Every output that can be finished is, whatever became of the others: one
  // line per one that was not. Those written during the run first.
  std::vector<std::string> Finish(bool out_of_memory) {
    std::vector<std::string> problems;
    for (const bool at_end : {false, true})
      for (auto& exporter : exporters_)
        if (exporter->WrittenAtEnd() == at_end) exporter->Finish(out_of_memory, problems);
    return problems;
  }

 private:
  std::vector<std::unique_ptr<Exporter>> exporters_;
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
