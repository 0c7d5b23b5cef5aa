#include "assets/config_parser.h"

#include <array>
#include <climits>
#include <system_error>

#include "base/text.h"
#include "platform/file_bytes.h"

namespace kelvane {

namespace {

std::string_view Cut(std::string_view text) {
  return text.substr(0, kConfigTextLimit);
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// UTF-16 units after the byte-order mark; a unit that pairs with nothing
// becomes U+FFFD, and so does an odd last byte.
std::string Utf16ToUtf8(std::string_view bytes, bool bigEndian) {
  const auto unit = [&](std::size_t i) {
    const auto hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
    const auto lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
    return static_cast<char32_t>(hi << 8 | lo);
  };
  constexpr char32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(bytes.size() / 2);
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    AppendUtf8(out, u >= 0xD800 && u < 0xE000 ? kReplacement : u);
  }
  if (i < bytes.size()) AppendUtf8(out, kReplacement);
  return out;
}

std::string_view TrimLeadingSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view{} : text.substr(first);
}

// True when `symbol` occurs in `line` and its first occurrence lies after
// the first space: the brace belongs to the tag's value, not to its word.
bool BraceAfterWord(std::string_view line, char symbol) {
  const auto space = line.find(' ');
  const auto brace = line.find(symbol);
  return space != std::string_view::npos && brace != std::string_view::npos && brace > space;
}

std::string StripPair(std::string_view text, char first, char last) {
  if (text.empty() || text.front() != first || text.back() != last) return std::string(text);
  if (text.size() == 1) return {};  // one character that both opens and closes
  return std::string(text.substr(1, text.size() - 2));
}

// The scan state of one query: how deep it is and what the enclosing
// containers are called.
class NestingWalk {
 public:
  int depth() const { return depth_; }
  std::string_view parent() const { return parent_; }
  std::string_view grandparent() const { return grandparent_; }

  void Record(std::string_view word) {
    if (depth_ < kConfigNameSlots) slots_[static_cast<std::size_t>(depth_)] = word;
  }

  void Open() {
    ++depth_;
    Rename();
  }

  // A surplus closing brace leaves the depth at 0.
  void Close() {
    if (depth_ > 0) --depth_;
    Rename();
  }

 private:
  std::string_view SlotAt(int depth) const {
    if (depth < 0 || depth >= kConfigNameSlots) return {};
    return slots_[static_cast<std::size_t>(depth)];
  }

  void Rename() {
    parent_ = SlotAt(depth_ - 1);
    grandparent_ = SlotAt(depth_ - 2);
  }

  int depth_ = 0;
  std::array<std::string_view, kConfigNameSlots> slots_{};
  std::string_view parent_;
  std::string_view grandparent_;
};

}  // namespace

ConfigLines ConfigLines::FromText(std::string_view text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  std::string decoded;
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
    decoded = Utf16ToUtf8(text.substr(2), text[0] == '\xFE');
    text = decoded;
  }

  ConfigLines config;
  std::size_t begin = 0;
  // Indices are ints; a file with more lines than that is read up to there.
  while (begin < text.size() && config.lines_.size() < static_cast<std::size_t>(INT_MAX)) {
    const auto end = text.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) {
      config.AddLine(text.substr(begin));
      break;
    }
    config.AddLine(text.substr(begin, end - begin));
    begin = end + 1;
    if (text[end] == '\r' && begin < text.size() && text[begin] == '\n') ++begin;
  }
  return config;
}

std::optional<ConfigLines> ConfigLines::FromFile(const std::filesystem::path& path,
                                                 std::string* error) {
  auto file = FileBytes::Open(path, error);
  if (!file) return std::nullopt;
  const auto bytes = file->bytes();
  return FromText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void ConfigLines::AddLine(std::string_view line) {
  const int index = static_cast<int>(lines_.size());
  std::string& raw = lines_.emplace_back(line);

  std::string spaced = raw;
  for (char& c : spaced) {
    if (c == '\t') c = ' ';
  }
  const std::string_view text = TrimLeadingSpaces(spaced);
  if (text.empty()) return;  // blank lines neither nest nor match

  ScanLine scan;
  scan.index = index;
  const std::string_view word = text.substr(0, text.find(' '));
  // Braces are looked for in the whole word, so the text limit never changes
  // the nesting.
  if (word.find('}') != std::string_view::npos) {
    scan.kind = LineKind::Close;
  } else if (word.find('{') != std::string_view::npos) {
    scan.kind = LineKind::Open;
  } else {
    scan.kind = LineKind::Tag;
    scan.word = Cut(word);
    scan.openAfter = BraceAfterWord(text, '{');
    scan.closeAfter = BraceAfterWord(text, '}');
  }
  scan_.push_back(std::move(scan));
}

TagMatch ConfigLines::Match(std::string_view grandparent, std::string_view parent,
                            std::string_view tag, int startLine, int depth) const {
  grandparent = Cut(grandparent);
  parent = Cut(parent);
  tag = Cut(tag);

  NestingWalk walk;
  for (const ScanLine& line : scan_) {
    if (line.kind == LineKind::Close) {
      walk.Close();
      continue;
    }
    if (line.kind == LineKind::Open) {
      walk.Open();
      continue;
    }
    walk.Record(line.word);
    if ((grandparent.empty() || grandparent == walk.grandparent()) &&
        (parent.empty() || parent == walk.parent()) && (tag.empty() || tag == line.word) &&
        walk.depth() == depth && line.index >= startLine) {
      return {line.index, std::string(walk.parent())};
    }
    // A tag line may open or close a level after itself, as in `name {` or
    // `mesh "body.im" }`.
    if (line.openAfter) walk.Open();
    if (line.closeAfter) walk.Close();
  }
  return {};
}

int ConfigLines::FindTag(std::string_view grandparent, std::string_view parent,
                         std::string_view tag, int startLine, int depth) {
  TagMatch found = Match(grandparent, parent, tag, startLine, depth);
  if (found.line >= 0 && parent.empty()) lastParentName_ = std::move(found.parentName);
  return found.line;
}

std::string ConfigLines::TagValue(int index) const {
  return std::string(Cut(PathValue(index)));
}

std::string ConfigLines::PathValue(int index) const {
  if (index < 0 || index >= LineCount()) return {};
  std::string line = lines_[static_cast<std::size_t>(index)];
  for (char& c : line) {
    if (c == '\t' || c == '}') c = ' ';
  }
  std::string_view text = TrimLeadingSpaces(line);
  text = text.substr(0, text.find_last_not_of(' ') + 1);
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return {};  // a tag alone has no value
  return std::string(TrimLeadingSpaces(text.substr(space + 1)));
}

std::string StripQuotes(std::string_view text) {
  return StripPair(text, '"', '"');
}

std::string StripAngles(std::string_view text) {
  return StripPair(text, '<', '>');
}

std::string NormaliseKuid(std::string_view text) {
  if (text.empty() || text.find(':') != std::string_view::npos) return std::string(text);
  return "<kuid:-1:" + std::string(text) + ">";
}

bool IsKuidText(std::string_view text) {
  const auto number = [&text](bool sign, std::size_t most) {
    std::size_t n = sign && text.starts_with('-') ? 1 : 0;
    const std::size_t first = n;
    while (n < text.size() && n - first < most && text[n] >= '0' && text[n] <= '9')
      ++n;
    if (n == first) return false;
    text.remove_prefix(n);
    return true;
  };
  const auto word = [&text](std::string_view expected) {
    if (text.size() < expected.size() ||
        !EqualsIgnoringAsciiCase(text.substr(0, expected.size()), expected))
      return false;
    text.remove_prefix(expected.size());
    return true;
  };
  // Whole numbers as the host writes them: at most ten digits.
  constexpr std::size_t kDigits = 10;
  if (word("<kuid:"))
    return number(true, kDigits) && word(":") && number(true, kDigits) && text == ">";
  return word("<kuid2:") && number(true, kDigits) && word(":") && number(true, kDigits) &&
         word(":") && number(false, 3) && text == ">";
}

std::string ConfigKuid(const ConfigLines& config) {
  const TagMatch found = config.Match("", "", "kuid", kConfigTop, 0);
  if (found.line < 0) return {};
  // A quoted value names the same kuid as a bare one.
  return NormaliseKuid(StripQuotes(config.TagValue(found.line)));
}

std::string ConfigKuid(const std::filesystem::path& path) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return {};
  const auto config = ConfigLines::FromFile(path);
  return config ? ConfigKuid(*config) : std::string();
}

}  // namespace kelvane
