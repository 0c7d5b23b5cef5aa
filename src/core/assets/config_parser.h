#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kelvane {

// Longest name, word or value (other than a path) a config.txt holds; longer
// ones are cut.
constexpr std::size_t kConfigTextLimit = 255;
// Depths 0 to 10 remember their last tag word. Deeper levels are still
// counted, but their containers have no name.
constexpr int kConfigNameSlots = 11;
// Start line of a query that covers the whole file, first line included.
constexpr int kConfigTop = 0;

// Where a query matched, and the name of the container holding that line.
struct TagMatch {
  int line = -1;
  std::string parentName;
};

// The lines of one config.txt. There is no tree: every query walks the
// lines from the top and counts the braces as it goes, so the nesting seen
// by a query never depends on its start line. Line indices are 0-based.
class ConfigLines {
 public:
  ConfigLines() = default;

  // Lines end with CR LF, LF or a lone CR; a UTF-8 byte-order mark in front
  // of the first line is dropped. A text that starts with a UTF-16
  // byte-order mark (either byte order) is read as UTF-16 and held as UTF-8;
  // without the mark the bytes are taken as they are.
  static ConfigLines FromText(std::string_view text);
  // Empty optional when the file cannot be read; `error` says why. The path
  // is used as given: finding it without regard to case is the caller's job.
  static std::optional<ConfigLines> FromFile(const std::filesystem::path& path,
                                             std::string* error = nullptr);

  int LineCount() const { return static_cast<int>(lines_.size()); }

  // The first line at index `startLine` or later whose first word is `tag`,
  // at nesting `depth`, inside a container named `parent` that lies inside
  // one named `grandparent`. An empty grandparent, parent or tag matches
  // anything. `line` is -1 when nothing matches.
  TagMatch Match(std::string_view grandparent, std::string_view parent, std::string_view tag,
                 int startLine, int depth) const;

  // Match() returning the line index alone; when `parent` is empty and a line
  // is found, its container's name is kept in LastParentName().
  int FindTag(std::string_view grandparent, std::string_view parent, std::string_view tag,
              int startLine, int depth);
  const std::string& LastParentName() const { return lastParentName_; }

  // The text after the first word of line `index`, without TABs, closing
  // braces and surrounding spaces; empty for a bare tag or a line that does
  // not exist. Cut to kConfigTextLimit, as names are.
  std::string TagValue(int index) const;
  // The same for a value that is a path (a mesh file): never cut.
  std::string PathValue(int index) const;

 private:
  enum class LineKind { Close, Open, Tag };

  // A non-blank line, reduced once to what the brace counting needs.
  struct ScanLine {
    int index = 0;
    LineKind kind = LineKind::Tag;
    std::string word;  // cut to kConfigTextLimit
    bool openAfter = false;
    bool closeAfter = false;
  };

  void AddLine(std::string_view line);

  std::vector<std::string> lines_;
  std::vector<ScanLine> scan_;
  std::string lastParentName_;
};

// `text` without one enclosing pair of double quotes, when it has them.
std::string StripQuotes(std::string_view text);
// `text` without one enclosing pair of angle brackets, when it has them.
std::string StripAngles(std::string_view text);
// A bare asset number N becomes "<kuid:-1:N>"; anything holding ':' stays as
// it is, and an empty text stays empty.
std::string NormaliseKuid(std::string_view text);

// True for "<kuid:A:B>" and "<kuid2:A:B:V>" with whole numbers A and B
// (either may be negative) and a version V of up to three digits; the words
// "kuid" and "kuid2" in any case.
bool IsKuidText(std::string_view text);

// The top-level kuid of a config.txt, normalised; empty when it has none.
std::string ConfigKuid(const ConfigLines& config);
// The same for the file at `path`; empty when it does not exist or cannot be
// read.
std::string ConfigKuid(const std::filesystem::path& path);

}  // namespace kelvane
