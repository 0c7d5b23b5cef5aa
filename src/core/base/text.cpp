#include "base/text.h"

#include <charconv>
#include <cmath>

#include "base/byte_cursor.h"

namespace kelvane {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string AsciiLower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = AsciiLower(c);
  return out;
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return out;
}

std::string LowerExtension(std::string_view fileName) {
  const auto slash = fileName.find_last_of("/\\");
  const std::string_view name =
      slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || dot == 0 || name == "..") return {};
  return AsciiLower(name.substr(dot));
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string BareTextureName(std::string_view name) {
  const auto cut = name.find_last_of("\\/:");
  return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

std::string FormatFixed(double value, int decimals) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  char buffer[400];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  std::string text(buffer, ec == std::errc{} ? end : buffer);
  if (!text.empty() && text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) {
    text.erase(0, 1);
  }
  return text;
}

std::string TagText(std::uint32_t tag) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const auto c = static_cast<unsigned char>(tag >> (8 * i));
    text.push_back(c >= 32 && c < 127 ? static_cast<char>(c) : '?');
  }
  return text;
}

}  // namespace kelvane
