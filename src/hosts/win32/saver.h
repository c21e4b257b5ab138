// The Windows screensaver's own pieces beyond the host: its one setting (the
// frame rate, kept per user in the registry), the dialog that changes it, and
// the rule that one full-screen saver runs at a time.
#pragma once

#include <cstdint>
#include <optional>

namespace squarefield {

inline constexpr std::uint32_t kSaverDefaultFps = 60;
inline constexpr std::uint32_t kSaverMaxFps = 10000;

// HKEY_CURRENT_USER\Software\squarefield, FramesPerSecond (REG_DWORD): 0 is
// "as fast as the machine allows". Missing or damaged: the default.
std::uint32_t ReadSaverFps();
bool WriteSaverFps(std::uint32_t fps);

// The settings dialog, owned by `owner` when given. True when OK saved a change.
bool ShowSaverSettings(std::optional<std::uint64_t> owner);

// True when the program file is named *.scr, as Windows runs a screensaver.
bool RunningAsScr();

// False when another full-screen saver of ours is already running.
bool ClaimSaverInstance();

}  // namespace squarefield
