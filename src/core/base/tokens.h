#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvane {

constexpr int MaxTokens = 25;

// Tokens numbered 1 to MaxTokens.
class TokenArray {
 public:
  std::string& operator[](int n) { return items_.at(static_cast<std::size_t>(n - 1)); }
  const std::string& operator[](int n) const { return items_.at(static_cast<std::size_t>(n - 1)); }
  void Clear() { items_.fill({}); }

 private:
  std::array<std::string, MaxTokens> items_;
};

class TokenError : public std::runtime_error {
 public:
  TokenError() : std::runtime_error("MaxTokens exceeded in GetTokens") {}
};

// Splits `line` at any character of `delimiters`; quotes are plain
// characters. Returns the token count; throws TokenError past MaxTokens.
int GetTokens(std::string_view line, TokenArray& tokens, std::string_view delimiters);

}  // namespace kelvane
