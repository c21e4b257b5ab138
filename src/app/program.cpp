#include "app/program.h"

#include "app/form1.h"

namespace squarefield {

std::optional<RuntimeError> Host(Window& window, FormEvents& form) {
  try {
    window.Load(form);
  } catch (const RuntimeError& error) {
    return error;
  }
  return std::nullopt;
}

std::optional<RuntimeError> RunForm1(Runtime& runtime, WindowsApi& api, Window& window) {
  Form1 form(runtime, api, window);
  return Host(window, form);
}

}  // namespace squarefield
