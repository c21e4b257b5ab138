#include "app/program.h"

#include "app/form1.h"

namespace squarefield {

std::optional<RuntimeError> HostForm(Window& window, FormEvents& form) {
  try {
    window.Load(form);
  } catch (const RuntimeError& error) {
    return error;
  }
  return std::nullopt;
}

std::optional<RuntimeError> RunForm1(Runtime& runtime, WindowsApi& api, Window& window) {
  Form1 form(runtime, api, window);
  return HostForm(window, form);
}

}  // namespace squarefield
