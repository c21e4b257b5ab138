// Raising a form's load and unload events: the same on every host.
#pragma once

#include "runtime/runtime.h"

namespace squarefield {

class HostedWindow : public Window {
 public:
  void Load(FormEvents& form) override {
    form_ = &form;
    form.Form_Load();
  }
  void Unload() override {
    if (form_ == nullptr) return;
    std::int16_t cancel = 0;
    form_->Form_Unload(cancel);
    if (cancel != 0) return;
    form_ = nullptr;
    Unloaded();
  }
  bool Loaded() const { return form_ != nullptr; }

 protected:
  // The host takes the window down once the unload went through.
  virtual void Unloaded() {}

 private:
  FormEvents* form_ = nullptr;
};

}  // namespace squarefield
