// Hosting the window class: what every host does once it has its services.
#pragma once

#include <optional>

#include "runtime/runtime.h"
#include "runtime/runtime_error.h"
#include "runtime/windows_api.h"

namespace squarefield {

inline constexpr const char* kVersion = SQUAREFIELD_VERSION;  // from the build: one place

// Raises the load event of `form` in `window`, which runs the whole effect.
// Returns the runtime error that ended it early, if one did.
std::optional<RuntimeError> HostForm(Window& window, FormEvents& form);

// Creates Form1 on the given services and hosts it.
std::optional<RuntimeError> RunForm1(Runtime& runtime, WindowsApi& api, Window& window);

}  // namespace squarefield
