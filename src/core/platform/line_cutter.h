#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace kelvane {

// How a reported text stands: a whole line, or the part of a line seen so far.
enum class TOutputType { otEntireLine, otBeginningOfLine };

// How a whole line ended.
enum class TReturnCode { rcCRLF, rcLF };

// Cuts a child's output, arriving in reads of any size, into lines. Pure: it
// holds only the unfinished line of the previous read and whether that read
// ended with CR. Whole lines come out the same wherever the reads were cut;
// only the growing beginnings of a line (and the line end of a CR LF pair
// split across two reads) show where the cuts were.
class LineCutter {
 public:
  // Text beyond this length in one line is dropped, so a child printing
  // without line ends cannot grow the carried text without bound.
  static constexpr std::size_t kDefaultMaxLineLength = 64 * 1024;

  // Called for each text in order. `end` is meaningful for whole lines only.
  using Sink = std::function<void(const std::string& text, TOutputType type, TReturnCode end)>;

  explicit LineCutter(std::size_t maxLineLength = kDefaultMaxLineLength);

  // Cuts the bytes of one read. Reports every line ended in it, then the
  // unfinished rest (when not empty) as a beginning of a line. An empty read
  // changes nothing.
  void Feed(std::span<const char> bytes, const Sink& sink);

  // Text sent to the child, shown as if it were output. `continueLine` joins
  // it to the carried text (the last report was a beginning of a line);
  // otherwise it replaces it. Ending with LF or CR LF makes it a whole line,
  // reported without the line end.
  void Echo(std::string_view text, bool continueLine, const Sink& sink);

  // The unfinished line carried over to the next read.
  const std::string& Carried() const { return carried_; }
  bool EndedWithCR() const { return endedWithCR_; }

 private:
  void Append(std::string& line, std::string_view part) const;

  std::size_t maxLineLength_;
  std::string carried_;
  bool endedWithCR_ = false;
};

}  // namespace kelvane
