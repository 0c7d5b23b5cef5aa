#include "base/tokens.h"

namespace kelvane {

int GetTokens(std::string_view line, TokenArray& tokens, std::string_view delimiters) {
  tokens.Clear();
  int current = 1;
  std::size_t i = 0;
  while (i < line.size() && current <= MaxTokens) {
    const char c = line[i];
    if (delimiters.find(c) != std::string_view::npos) {
      ++current;
    } else {
      tokens[current].push_back(c);
    }
    ++i;
  }
  if (i < line.size() || current > MaxTokens) throw TokenError();
  return current;
}

}  // namespace kelvane
