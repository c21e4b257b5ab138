// The option values both entry points read (the command line and the page's
// address), checked the same way and refused with the same words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace squarefield {

// Decimal digits only: no sign, no spaces, no overflow.
bool ParseWhole(const std::string& text, std::uint64_t& value);
// A decimal number, all of the text: digits with at most one point.
bool ParseNumber(const std::string& text, double& value);

// --seed and --fps: the value, or what is wrong with it (the option named).
std::optional<std::string> ReadSeed(const std::string& text, std::uint64_t& seed);
std::optional<std::string> ReadFps(const std::string& text, double& fps);

}  // namespace squarefield
