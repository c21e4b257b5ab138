#include "cli/hosted_run.h"

#include <iostream>
#include <memory>

#include "app/program.h"
#include "cli/output_file.h"
#include "platform/stop_signal.h"
#include "platform/trace.h"

namespace squarefield {

int RunHosted(const Options& options, Runtime& runtime, WindowsApi& api, Window& window, int width, int height,
              const std::function<void(WindowsApi&)>& restore,
              const std::function<void(const std::string&)>& report) {
  std::unique_ptr<OutputFile> trace_file;
  std::string problem;
  if (!options.trace.empty()) {
    trace_file = std::make_unique<OutputFile>(options.trace);
    if (!trace_file->Open(problem)) {
      ReportFileProblem(options.trace, problem);
      return kExitRuntimeError;
    }
    static char buffer[1 << 16];
    std::setvbuf(trace_file->Stream(), buffer, _IOFBF, sizeof buffer);
    std::fprintf(trace_file->Stream(), "# squarefield %s %dx%d\n", kVersion, width, height);
  }
  ServiceSet services(runtime, api, window, trace_file ? trace_file->Stream() : nullptr);

  InstallStopSignals();
  const auto error = RunForm1(services.runtime(), services.api(), services.window());
  int status = kExitOk;
  if (error) {
    // Never leave the cursor hidden or the brushes alive, whatever ended the run.
    restore(services.api());
    std::cerr << "squarefield: " << error->Report() << '\n';
    if (report) report(error->Report());
    status = kExitRuntimeError;
  }
  if (trace_file && !trace_file->Commit(problem)) {
    ReportFileProblem(options.trace, problem);
    return kExitRuntimeError;
  }
  return status;
}

}  // namespace squarefield
