#include "assets/config_parser.h"

#include <algorithm>
#include <array>
#include <climits>
#include <system_error>
#include <tuple>

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

// Spaces and TABs part a tag's word from its value.
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string StripPair(std::string_view text, char first, char last) {
  if (text.empty() || text.front() != first || text.back() != last) return std::string(text);
  if (text.size() == 1) return {};  // one character that both opens and closes
  return std::string(text.substr(1, text.size() - 2));
}

// A query's name that matches any line's.
constexpr int kAnyName = -2;

}  // namespace

// Counts the braces line by line from the top and records each tag line
// with the depth and the container names seen at its word.
class ConfigLines::Builder {
 public:
  explicit Builder(ConfigLines& config) : c_(config) { slots_.fill(kNoName); }

  // The line at `begin` in the file's text, `size` bytes long.
  void Add(std::size_t begin, std::size_t size) {
    const int index = static_cast<int>(c_.lines_.size());
    c_.lines_.push_back({begin, size});
    const std::string_view line = c_.Line(index);
    std::size_t first = 0;
    while (first < line.size() && IsBlank(line[first]))
      ++first;
    if (first == line.size()) return;  // blank lines neither nest nor match
    std::size_t wordEnd = first;
    bool opens = false, closes = false;
    for (; wordEnd < line.size() && !IsBlank(line[wordEnd]); ++wordEnd) {
      opens = opens || line[wordEnd] == '{';
      closes = closes || line[wordEnd] == '}';
    }
    // Braces are looked for in the whole word, so the text limit never
    // changes the nesting.
    if (closes) return Close();
    if (opens) return Open();

    const int name = Intern(Cut(line.substr(first, wordEnd - first)));
    if (depth_ < kConfigNameSlots) slots_[static_cast<std::size_t>(depth_)] = name;
    c_.tags_.push_back({index, name, depth_, SlotAt(depth_ - 1), SlotAt(depth_ - 2)});
    // A tag line may open or close a level after itself, as in `name {` or
    // `mesh "body.im" }`: a brace after the word belongs to its value.
    const std::string_view value = line.substr(wordEnd);
    if (value.find('{') != std::string_view::npos) Open();
    if (value.find('}') != std::string_view::npos) Close();
  }

  // Orders the tag lines for the queries.
  void Finish() {
    const auto& tags = c_.tags_;
    c_.byWord_.resize(tags.size());
    for (std::size_t i = 0; i < tags.size(); ++i)
      c_.byWord_[i] = static_cast<int>(i);
    c_.byContainer_ = c_.byWord_;
    // Positions already follow the lines, so a stable sort keeps each
    // group's lines in file order.
    std::stable_sort(c_.byWord_.begin(), c_.byWord_.end(), [&tags](int a, int b) {
      const TagLine &x = tags[static_cast<std::size_t>(a)], &y = tags[static_cast<std::size_t>(b)];
      return std::tie(x.word, x.depth) < std::tie(y.word, y.depth);
    });
    std::stable_sort(c_.byContainer_.begin(), c_.byContainer_.end(), [&tags](int a, int b) {
      const TagLine &x = tags[static_cast<std::size_t>(a)], &y = tags[static_cast<std::size_t>(b)];
      return std::tie(x.word, x.depth, x.parent) < std::tie(y.word, y.depth, y.parent);
    });
  }

 private:
  int Intern(std::string_view word) {
    if (const auto known = c_.nameIds_.find(word); known != c_.nameIds_.end()) return known->second;
    const int id = static_cast<int>(c_.names_.size());
    c_.names_.emplace_back(word);
    c_.nameIds_.emplace(std::string(word), id);
    return id;
  }

  // Depths 0 to 10 remember their last tag word; the level above the top
  // and deeper levels have none.
  int SlotAt(int depth) const {
    if (depth < 0 || depth >= kConfigNameSlots) return kNoName;
    return slots_[static_cast<std::size_t>(depth)];
  }

  void Open() { ++depth_; }
  // A surplus closing brace leaves the depth at 0.
  void Close() {
    if (depth_ > 0) --depth_;
  }

  ConfigLines& c_;
  int depth_ = 0;
  std::array<int, kConfigNameSlots> slots_{};
};

ConfigLines ConfigLines::FromText(std::string_view text) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  ConfigLines config;
  if (text.starts_with("\xFF\xFE") || text.starts_with("\xFE\xFF")) {
    config.text_ = Utf16ToUtf8(text.substr(2), text[0] == '\xFE');
  } else {
    config.text_ = text;
  }

  Builder builder(config);
  const std::string_view all = config.text_;
  // The next CR and LF, each looked for again only once passed.
  std::size_t nextCr = all.find('\r'), nextLf = all.find('\n');
  std::size_t begin = 0;
  // Indices are ints; a file with more lines than that is read up to there.
  while (begin < all.size() && config.lines_.size() < static_cast<std::size_t>(INT_MAX)) {
    if (nextCr < begin) nextCr = all.find('\r', begin);
    if (nextLf < begin) nextLf = all.find('\n', begin);
    const std::size_t end = std::min(nextCr, nextLf);
    if (end == std::string_view::npos) {
      builder.Add(begin, all.size() - begin);
      break;
    }
    builder.Add(begin, end - begin);
    begin = end + 1;
    if (all[end] == '\r' && begin < all.size() && all[begin] == '\n') ++begin;
  }
  builder.Finish();
  return config;
}

std::optional<ConfigLines> ConfigLines::FromFile(const std::filesystem::path& path,
                                                 std::string* error) {
  auto file = FileBytes::Open(path, error);
  if (!file) return std::nullopt;
  const auto bytes = file->bytes();
  return FromText(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

int ConfigLines::NameId(std::string_view name) const {
  const auto known = nameIds_.find(name);
  return known == nameIds_.end() ? kNoName : known->second;
}

TagMatch ConfigLines::Match(std::string_view grandparent, std::string_view parent,
                            std::string_view tag, int startLine, int depth) const {
  const auto id = [this](std::string_view name) {
    name = Cut(name);
    return name.empty() ? kAnyName : NameId(name);
  };
  const int grandparentId = id(grandparent), parentId = id(parent), tagId = id(tag);
  // A name no line has matches nothing.
  if (grandparentId == kNoName || parentId == kNoName || tagId == kNoName) return {};

  const auto fits = [&](const TagLine& line) {
    return (grandparentId == kAnyName || grandparentId == line.grandparent) &&
           (parentId == kAnyName || parentId == line.parent) &&
           (tagId == kAnyName || tagId == line.word) && line.depth == depth &&
           line.index >= startLine;
  };
  const auto found = [this](const TagLine& line) -> TagMatch {
    if (line.parent == kNoName) return {line.index, {}};
    return {line.index, names_[static_cast<std::size_t>(line.parent)]};
  };

  if (tagId == kAnyName) {
    // No word to go by: the lines from the start line on, in order.
    auto at = std::lower_bound(tags_.begin(), tags_.end(), startLine,
                               [](const TagLine& line, int start) { return line.index < start; });
    for (; at != tags_.end(); ++at) {
      if (fits(*at)) return found(*at);
    }
    return {};
  }

  // The lines with this word and depth (and container, when one is asked
  // for), from the start line on.
  const bool byContainer = parentId != kAnyName;
  const std::vector<int>& order = byContainer ? byContainer_ : byWord_;
  const auto key = [byContainer](const TagLine& line) {
    return std::tuple(line.word, line.depth, byContainer ? line.parent : 0, line.index);
  };
  const auto wanted = std::tuple(tagId, depth, byContainer ? parentId : 0, startLine);
  auto at = std::lower_bound(order.begin(), order.end(), wanted, [&](int position, const auto& w) {
    return key(tags_[static_cast<std::size_t>(position)]) < w;
  });
  for (; at != order.end(); ++at) {
    const TagLine& line = tags_[static_cast<std::size_t>(*at)];
    if (std::get<2>(key(line)) != std::get<2>(wanted) || line.word != tagId || line.depth != depth)
      break;
    if (fits(line)) return found(line);
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
  std::string line(Line(index));
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
