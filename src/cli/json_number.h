#pragma once

#include <charconv>
#include <cstdlib>
#include <limits>
#include <string>

namespace kelvane {

// A float32 as the double whose shortest text is the float's shortest
// text, so that JSON shows 0.1 rather than 0.100000001490116 and the
// printed value still reads back as the same float.
inline double JsonFloat(float value) {
  if (value != value) return std::numeric_limits<double>::quiet_NaN();
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
  if (ec != std::errc{}) return value;
  *end = '\0';
  return std::strtod(buffer, nullptr);
}

}  // namespace kelvane
