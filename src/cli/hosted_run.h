// What every host does around a run: the trace file, hosting Form1, and
// reporting a runtime error once the host has put the screen right again.
#pragma once

#include <functional>
#include <string>

#include "cli/options.h"
#include "platform/runtime.h"
#include "platform/windows_api.h"

namespace squarefield {

// After a runtime error `restore` is called with the (possibly traced) calls to
// use, to show the cursor again and free what the run left; then the error is
// reported on stderr, and to `report` if given. Returns the exit status.
int RunHosted(const Options& options, Runtime& runtime, WindowsApi& api, Window& window, int width, int height,
              const std::function<void(WindowsApi&)>& restore,
              const std::function<void(const std::string&)>& report = {});

}  // namespace squarefield
