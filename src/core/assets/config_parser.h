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

// The lines of one config.txt. There is no tree: the braces are counted once
// from the top, and each tag line keeps the nesting that walk saw there, so
// the nesting seen by a query never depends on its start line. The tag lines
// are also kept in order of their word, depth and container, so a query
// looks only at lines that could match. Line indices are 0-based.
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

  int LineCount() const { return static_cast<int>(lineEnds_.size()); }

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
  class Builder;

  // A line whose first word holds no brace, with the nesting at that word. Names are indices into
  // names_; kNoName where a level has no name.
  struct TagLine {
    int index;
    int word;
    int depth;
    int parent;
    int grandparent;
  };
  static constexpr int kNoName = -1;

  // Where a piece of text_ lies.
  struct Span {
    std::size_t begin;
    std::size_t size;
  };

  // kNoName for a name no tag line has.
  int NameId(std::string_view name) const;
  // The slot of nameSlots_ that holds `name`, or the empty one where it
  // would go; there must be slots.
  std::size_t SlotOf(std::string_view name) const;
  std::string_view Name(int id) const {
    const Span& span = names_[static_cast<std::size_t>(id)];
    return std::string_view(text_.data() + span.begin, span.size);
  }
  // The line without its line end. A line starts right after the one before
  // it and its line end, so only the ends are kept.
  std::string_view Line(int index) const;
  // The text after the first word of a line, without surrounding spaces;
  // TABs and closing braces count as spaces.
  std::string_view ValueOf(int index) const;

  std::string text_;                   // the whole file, as UTF-8 when it was UTF-16
  std::vector<std::size_t> lineEnds_;  // where each line's text ends in text_
  // Each distinct tag word, cut to kConfigTextLimit, as it first appears in
  // text_; offsets rather than views, so copies of the lines stay whole.
  std::vector<Span> names_;
  // Open addressing by the word's hash: a name index or kNoName per slot, a
  // power of two slots, at most half of them used.
  std::vector<int> nameSlots_;
  std::vector<TagLine> tags_;     // in line order
  std::vector<int> byWord_;       // tags_ positions by word, depth, line
  std::vector<int> byContainer_;  // tags_ positions by word, depth, parent, line
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
