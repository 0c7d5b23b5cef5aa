#include "platform/line_cutter.h"

#include <algorithm>
#include <utility>

namespace kelvane {

namespace {

constexpr char kCR = '\r';
constexpr char kLF = '\n';

bool IsSpecial(char c) {
  return c == kCR || c == kLF || c == '\0';
}

}  // namespace

LineCutter::LineCutter(std::size_t maxLineLength) : maxLineLength_(maxLineLength) {}

void LineCutter::Append(std::string& line, std::string_view part) const {
  if (line.size() >= maxLineLength_) return;
  line.append(part.substr(0, maxLineLength_ - line.size()));
}

void LineCutter::Feed(std::span<const char> bytes, const Sink& sink) {
  if (bytes.empty()) return;
  std::string line = std::move(carried_);
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  // An LF opening this read completes the CR that closed the previous one.
  if (bytes[0] == kLF && endedWithCR_) i = 1;
  while (i < n) {
    const char* begin = bytes.data() + i;
    const char* stop = std::find_if(begin, bytes.data() + n, IsSpecial);
    Append(line, std::string_view(begin, static_cast<std::size_t>(stop - begin)));
    i = static_cast<std::size_t>(stop - bytes.data());
    if (i == n) break;
    const char c = bytes[i++];
    if (c == '\0') continue;
    TReturnCode end = TReturnCode::rcLF;
    if (c == kCR && i < n && bytes[i] == kLF) {
      end = TReturnCode::rcCRLF;
      ++i;
    }
    sink(line, TOutputType::otEntireLine, end);
    line.clear();
  }
  endedWithCR_ = bytes[n - 1] == kCR;
  carried_ = std::move(line);
  if (!carried_.empty()) sink(carried_, TOutputType::otBeginningOfLine, TReturnCode::rcLF);
}

void LineCutter::Echo(std::string_view text, bool continueLine, const Sink& sink) {
  if (!continueLine) carried_.clear();
  std::string_view body = text;
  bool whole = false;
  if (body.ends_with("\r\n")) {
    body.remove_suffix(2);
    whole = true;
  } else if (body.ends_with('\n')) {
    body.remove_suffix(1);
    whole = true;
  }
  Append(carried_, body);
  if (whole) {
    const std::string line = std::exchange(carried_, std::string());
    sink(line, TOutputType::otEntireLine, TReturnCode::rcLF);
  } else {
    sink(carried_, TOutputType::otBeginningOfLine, TReturnCode::rcLF);
  }
}

}  // namespace kelvane
