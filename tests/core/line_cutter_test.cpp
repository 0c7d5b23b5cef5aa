#include "platform/line_cutter.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kelvane {
namespace {

struct Piece {
  std::string text;
  TOutputType type;
  TReturnCode end;
  bool operator==(const Piece&) const = default;
};

const TOutputType kEntire = TOutputType::otEntireLine;
const TOutputType kBeginning = TOutputType::otBeginningOfLine;
const TReturnCode kCRLF = TReturnCode::rcCRLF;
const TReturnCode kLF = TReturnCode::rcLF;

// Feeds each read in turn and collects what was reported.
std::vector<Piece> Cut(LineCutter& cutter, const std::vector<std::string>& reads) {
  std::vector<Piece> out;
  for (const std::string& read : reads) {
    cutter.Feed(read, [&](const std::string& text, TOutputType type, TReturnCode end) {
      out.push_back({text, type, type == kEntire ? end : kLF});
    });
  }
  return out;
}

std::vector<Piece> Cut(const std::vector<std::string>& reads) {
  LineCutter cutter;
  return Cut(cutter, reads);
}

std::vector<std::string> WholeLines(const std::vector<Piece>& pieces) {
  std::vector<std::string> lines;
  for (const Piece& p : pieces)
    if (p.type == kEntire) lines.push_back(p.text);
  return lines;
}

TEST(LineCutter, LineEndsWithinOneRead) {
  using namespace std::string_literals;
  EXPECT_EQ(Cut({"a\r\nb\n"}), (std::vector<Piece>{{"a", kEntire, kCRLF}, {"b", kEntire, kLF}}));
  // Lone CRs end lines too, and two line ends in a row make an empty line.
  EXPECT_EQ(Cut({"a\r\rb\n\nc\r"}), (std::vector<Piece>{{"a", kEntire, kLF},
                                                        {"", kEntire, kLF},
                                                        {"b", kEntire, kLF},
                                                        {"", kEntire, kLF},
                                                        {"c", kEntire, kLF}}));
  // LF CR is two line ends, not one.
  EXPECT_EQ(WholeLines(Cut({"a\n\rb\r\n"})), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Cut({"a\0\0b\n"s}), (std::vector<Piece>{{"ab", kEntire, kLF}}));
}

TEST(LineCutter, CrLfSplitAcrossReads) {
  LineCutter cutter;
  // The line goes out at the CR; the LF opening the next read only completes it.
  EXPECT_EQ(Cut(cutter, {"a\r", "\nb\n"}),
            (std::vector<Piece>{{"a", kEntire, kLF}, {"b", kEntire, kLF}}));
  EXPECT_FALSE(cutter.EndedWithCR());

  // Only the first byte of the next read completes a CR: a second LF is a line end.
  EXPECT_EQ(WholeLines(Cut({"a\r", "\n\n"})), (std::vector<std::string>{"a", ""}));
  // Without a CR before it, an opening LF ends an empty line.
  EXPECT_EQ(WholeLines(Cut({"a\n", "\nb\n"})), (std::vector<std::string>{"a", "", "b"}));
  // An empty read changes nothing, so it does not break the pair.
  EXPECT_EQ(WholeLines(Cut({"a\r", "", "\nb\n"})), (std::vector<std::string>{"a", "b"}));
}

TEST(LineCutter, GrowingBeginningsOfALine) {
  LineCutter cutter;
  EXPECT_EQ(Cut(cutter, {"abc", "de", "f\ng"}), (std::vector<Piece>{{"abc", kBeginning, kLF},
                                                                    {"abcde", kBeginning, kLF},
                                                                    {"abcdef", kEntire, kLF},
                                                                    {"g", kBeginning, kLF}}));
  EXPECT_EQ(cutter.Carried(), "g");
  // A read of NULs only adds nothing yet repeats the beginning.
  using namespace std::string_literals;
  EXPECT_EQ(Cut(cutter, {"\0"s}), (std::vector<Piece>{{"g", kBeginning, kLF}}));
}

TEST(LineCutter, OverlongLinesAreCutShort) {
  LineCutter cutter(4);
  EXPECT_EQ(Cut(cutter, {"abc", "defgh\nxy", "zzzzz"}),
            (std::vector<Piece>{{"abc", kBeginning, kLF},
                                {"abcd", kEntire, kLF},
                                {"xy", kBeginning, kLF},
                                {"xyzz", kBeginning, kLF}}));
  EXPECT_EQ(cutter.Carried(), "xyzz");
}

TEST(LineCutter, EchoedInput) {
  LineCutter cutter;
  std::vector<Piece> out;
  const auto sink = [&](const std::string& text, TOutputType type, TReturnCode) {
    out.push_back({text, type, kLF});
  };
  cutter.Feed(std::string_view("prompt> "), sink);
  cutter.Echo("ls", true, sink);
  cutter.Echo(" -l\r\n", true, sink);
  EXPECT_EQ(out, (std::vector<Piece>{{"prompt> ", kBeginning, kLF},
                                     {"prompt> ls", kBeginning, kLF},
                                     {"prompt> ls -l", kEntire, kLF}}));
  EXPECT_EQ(cutter.Carried(), "");

  out.clear();
  cutter.Feed(std::string_view("old"), sink);
  cutter.Echo("new\n", false, sink);  // takes the carried text's place
  EXPECT_EQ(out.back(), (Piece{"new", kEntire, kLF}));
}

// Whole lines and the final carried text must not depend on where the output
// was cut into reads.
TEST(LineCutter, WholeLinesDoNotDependOnReadBoundaries) {
  const std::string alphabet("ab\r\n\0", 5);
  std::mt19937 random(20240611);
  for (int round = 0; round < 2000; ++round) {
    std::string output;
    const int length = std::uniform_int_distribution<int>(0, 40)(random);
    for (int i = 0; i < length; ++i)
      output.push_back(alphabet[std::uniform_int_distribution<std::size_t>(0, 4)(random)]);

    LineCutter whole(8);
    const std::vector<std::string> expected = WholeLines(Cut(whole, {output}));

    std::vector<std::string> reads;
    for (std::size_t at = 0; at < output.size();) {
      const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 6)(random);
      reads.push_back(output.substr(at, n));
      at += n;
    }
    LineCutter pieces(8);
    ASSERT_EQ(WholeLines(Cut(pieces, reads)), expected) << "round " << round;
    ASSERT_EQ(pieces.Carried(), whole.Carried()) << "round " << round;
  }
}

}  // namespace
}  // namespace kelvane
