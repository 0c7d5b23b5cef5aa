// The child-process runner's line cutter on output arriving in pieces.
// The first two bytes choose the longest line and the piece sizes; the
// rest is the output. Whole lines must not depend on where the pieces were
// cut, and every beginning of a line must be how its line begins.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/fuzz_checks.h"
#include "platform/line_cutter.h"

namespace {

using kelvane::fuzz::Require;

struct Line {
  std::string text;
  kelvane::TReturnCode end;
};

// Feeds `output` in the given pieces; returns the whole lines and checks
// the beginnings against the line they grow into.
std::vector<Line> Cut(std::span<const char> output, const std::vector<std::size_t>& pieces,
                      std::size_t maxLine, std::string& carried) {
  kelvane::LineCutter cutter(maxLine);
  std::vector<Line> lines;
  std::string beginning;
  const auto sink = [&](const std::string& text, kelvane::TOutputType type,
                        kelvane::TReturnCode end) {
    Require(text.size() <= maxLine);
    Require(text.starts_with(beginning));
    if (type == kelvane::TOutputType::otEntireLine) {
      lines.push_back({text, end});
      beginning.clear();
    } else {
      Require(!text.empty());
      beginning = text;
    }
  };
  std::size_t at = 0;
  for (std::size_t piece : pieces) {
    cutter.Feed(output.subspan(at, piece), sink);
    at += piece;
  }
  carried = cutter.Carried();
  Require(carried == beginning);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::size_t maxLine = 1 + data[0] % 64u;
  std::uint32_t seed = 0x9E3779B9u ^ data[1];
  const std::span output(reinterpret_cast<const char*>(data + 2), size - 2);

  std::vector<std::size_t> pieces;
  for (std::size_t left = output.size(); left > 0;) {
    seed ^= seed << 13;
    seed ^= seed >> 17;
    seed ^= seed << 5;
    const std::size_t piece = std::min<std::size_t>(left, seed % 9u);  // empty reads too
    pieces.push_back(piece);
    left -= piece;
  }

  std::string wholeCarried, piecesCarried;
  const auto whole = Cut(output, {output.size()}, maxLine, wholeCarried);
  const auto pieced = Cut(output, pieces, maxLine, piecesCarried);
  Require(whole.size() == pieced.size());
  Require(wholeCarried == piecesCarried);
  // Where a cut fell between CR and LF the line is already reported when
  // the CR arrives, as ended by LF; no other cut changes how a line ended.
  std::size_t crLfSplits = 0;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    Require(whole[i].text == pieced[i].text);
    if (whole[i].end != pieced[i].end) {
      Require(whole[i].end == kelvane::TReturnCode::rcCRLF);
      ++crLfSplits;
    }
  }
  std::size_t at = 0, possible = 0;
  for (std::size_t piece : pieces) {
    at += piece;
    if (piece > 0 && at < output.size() && output[at - 1] == '\r' && output[at] == '\n') {
      ++possible;
    }
  }
  Require(crLfSplits <= possible);
  return 0;
}
