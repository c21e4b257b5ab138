#include "cli/values.h"

#include <cmath>
#include <cstdlib>

namespace squarefield {

bool ParseWhole(const std::string& text, std::uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return false;
    value = value * 10 + digit;
  }
  return true;
}

// No sign, no exponent, no hex, which strtod alone would take.
bool ParseNumber(const std::string& text, double& value) {
  int digits = 0, points = 0;
  for (const char c : text) {
    if (c >= '0' && c <= '9') ++digits;
    else if (c == '.') ++points;
    else return false;
  }
  if (digits == 0 || points > 1) return false;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return end == text.c_str() + text.size() && std::isfinite(value);
}

std::optional<std::string> ReadSeed(const std::string& text, std::uint64_t& seed) {
  if (!ParseWhole(text, seed)) return "--seed: '" + text + "' is not a whole number from 0 to 2^64-1";
  return std::nullopt;
}

std::optional<std::string> ReadFps(const std::string& text, double& fps) {
  if (!ParseNumber(text, fps) || (fps != 0 && (fps < 0.1 || fps > 10000)))
    return "--fps: '" + text + "' is not 0 or a number from 0.1 to 10000";
  return std::nullopt;
}

}  // namespace squarefield
