#include "hosts/framebuffer/framebuffer_host.h"

#include "runtime/stop_request.h"

namespace squarefield {

FramebufferHost::FramebufferHost(std::unique_ptr<Presenter> presenter, int width, int height, FailureScript failures)
    : presenter_(std::move(presenter)),
      fb_(width, height),
      api_(fb_, failures, *presenter_),
      window_(fb_, *presenter_) {
  // Damage is worth recording only where something is shown.
  if (presenter_->RefreshRate() > 0) fb_.TrackDamage();
  if (PictureHolder* holder = presenter_->Holder()) {
    fb_.KeepPictureOnScreen([holder](std::span<std::uint32_t> pixels, int width, int height) {
      holder->ReadPicture(pixels, width, height);
    });
  }
}

std::int16_t FramebufferHost::PresentedApi::GetAsyncKeyState(int vKey) {
  if (vKey != VK_ESCAPE) return 0;
  const bool pressed = escape_pressed;
  escape_pressed = false;
  return static_cast<std::int16_t>((presenter_.EscapeDown() ? 0x8000 : 0) | (pressed ? 0x0001 : 0));
}

std::optional<Failure> FramebufferHost::Pump() {
  PresenterEvents events;
  if (auto failure = presenter_->Pump(events)) return failure;
  if (events.escape_presses > 0) api_.escape_pressed = true;
  if (events.closed) RequestStop();
  // The field follows from the next frame: spawns read the new size.
  if (events.width > 0 && events.height > 0 && (events.width != fb_.Width() || events.height != fb_.Height()))
    fb_.Resize(events.width, events.height);
  else if (events.lost_picture)
    fb_.DamageAll();
  return std::nullopt;
}

std::optional<Failure> FramebufferHost::Present() {
  if (!fb_.Changed()) return std::nullopt;
  auto failure = presenter_->Present(fb_);
  const PictureHolder* holder = presenter_->Holder();
  fb_.ClearDamage(holder != nullptr && holder->HoldsPicture());
  return failure;
}

void FramebufferHost::Finish() {
  Present();  // the last frame, if it can still be shown
  presenter_->Finish();
}

}  // namespace squarefield
