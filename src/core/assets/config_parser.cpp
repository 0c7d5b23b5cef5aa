#include "assets/config_parser.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <system_error>
#include <tuple>

#include "base/text.h"
#include "platform/file_bytes.h"

namespace kelvane {

namespace {

std::string_view Cut(std::string_view text) {
  return text.substr(0, kConfigTextLimit);
}

// Writes `c` as UTF-8 at `out`; returns the bytes written, one to four.
std::size_t PutUtf8(char* out, char32_t c) {
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0 | (c >> 6));
    out[1] = static_cast<char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (c >> 12));
    out[1] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (c >> 18));
  out[1] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (c & 0x3F));
  return 4;
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
  // A unit takes at most three bytes, a pair of them four, the odd byte three.
  std::string out(bytes.size() / 2 * 3 + 3, '\0');
  std::size_t size = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    const char32_t u = unit(i);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        size += PutUtf8(out.data() + size, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
        i += 2;
        continue;
      }
    }
    size += PutUtf8(out.data() + size, u >= 0xD800 && u < 0xE000 ? kReplacement : u);
  }
  if (i < bytes.size()) size += PutUtf8(out.data() + size, kReplacement);
  out.resize(size);
  return out;
}

// Spaces and TABs part a tag's word from its value.
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Inside a value, TABs and closing braces read as spaces.
bool IsValueSpace(char c) {
  return IsBlank(c) || c == '}';
}

// A value's text as it is read: each TAB or closing brace a space.
std::string ValueText(std::string_view value) {
  std::string text(value);
  for (char& c : text) {
    if (c == '\t' || c == '}') c = ' ';
  }
  return text;
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

  // The line from `begin` up to `end` in the file's text.
  void Add(std::size_t begin, std::size_t end) {
    const int index = static_cast<int>(c_.lineEnds_.size());
    c_.lineEnds_.push_back(end);
    const std::string_view line(c_.text_.data() + begin, end - begin);
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

    const int name = Intern(begin + first, std::min(wordEnd - first, kConfigTextLimit));
    if (depth_ < kConfigNameSlots) slots_[static_cast<std::size_t>(depth_)] = name;
    c_.tags_.push_back({index, name, depth_, SlotAt(depth_ - 1), SlotAt(depth_ - 2)});
    deepest_ = std::max(deepest_, depth_);
    // A tag line may open or close a level after itself, as in `name {` or
    // `mesh "body.im" }`: a brace after the word belongs to its value.
    const std::string_view value = line.substr(wordEnd);
    if (value.find('{') != std::string_view::npos) Open();
    if (value.find('}') != std::string_view::npos) Close();
  }

  // Orders the tag lines for the queries: a stable counting pass per key,
  // the least significant key first, so each group keeps file order.
  void Finish() {
    const int count = static_cast<int>(c_.tags_.size());
    const int names = static_cast<int>(c_.names_.size());
    c_.byWord_.resize(c_.tags_.size());
    for (int i = 0; i < count; ++i)
      c_.byWord_[static_cast<std::size_t>(i)] = i;
    c_.byContainer_ = c_.byWord_;
    const auto depth = [](const TagLine& line) { return line.depth; };
    const auto word = [](const TagLine& line) { return line.word; };
    // kNoName, the parent of the top level, comes first.
    const auto parent = [](const TagLine& line) { return line.parent + 1; };
    Order(c_.byWord_, deepest_ + 1, depth);
    Order(c_.byWord_, names, word);
    Order(c_.byContainer_, names + 1, parent);
    Order(c_.byContainer_, deepest_ + 1, depth);
    Order(c_.byContainer_, names, word);
  }

 private:
  // `order` stably sorted by key(line), each key in [0, keys).
  template <class Key>
  void Order(std::vector<int>& order, int keys, Key key) {
    const auto at = [this, &key](int position) {
      return static_cast<std::size_t>(key(c_.tags_[static_cast<std::size_t>(position)]));
    };
    counts_.assign(static_cast<std::size_t>(keys) + 1, 0);
    for (const int position : order)
      ++counts_[at(position) + 1];
    for (std::size_t k = 1; k < counts_.size(); ++k)
      counts_[k] += counts_[k - 1];
    scratch_.resize(order.size());
    for (const int position : order)
      scratch_[static_cast<std::size_t>(counts_[at(position)]++)] = position;
    order.swap(scratch_);
  }

  // The id of the word at `begin`, `size` bytes long, in the file's text.
  int Intern(std::size_t begin, std::size_t size) {
    auto& slots = c_.nameSlots_;
    if (2 * (c_.names_.size() + 1) > slots.size()) Grow();
    const std::string_view word(c_.text_.data() + begin, size);
    int& id = slots[c_.SlotOf(word)];
    if (id == kNoName) {
      id = static_cast<int>(c_.names_.size());
      c_.names_.push_back({begin, size});
    }
    return id;
  }

  // Twice the slots, every name placed again.
  void Grow() {
    auto& slots = c_.nameSlots_;
    slots.assign(std::max<std::size_t>(16, 2 * slots.size()), kNoName);
    for (std::size_t id = 0; id < c_.names_.size(); ++id)
      slots[c_.SlotOf(c_.Name(static_cast<int>(id)))] = static_cast<int>(id);
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
  int deepest_ = 0;
  std::array<int, kConfigNameSlots> slots_{};
  std::vector<int> counts_, scratch_;  // Order()'s, kept for its next call
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
  // Room for lines of a typical length, so a usual file's indices grow
  // without moving.
  config.lineEnds_.reserve(all.size() / 24 + 8);
  config.tags_.reserve(all.size() / 32 + 8);
  // The next CR and LF, each looked for again only once passed; the text's
  // size when there is none.
  const auto next = [&all](char c, std::size_t from) {
    const void* at = std::memchr(all.data() + from, c, all.size() - from);
    return at ? static_cast<std::size_t>(static_cast<const char*>(at) - all.data()) : all.size();
  };
  std::size_t nextCr = next('\r', 0), nextLf = next('\n', 0);
  std::size_t begin = 0;
  // Indices are ints; a file with more lines than that is read up to there.
  while (begin < all.size() && config.lineEnds_.size() < static_cast<std::size_t>(INT_MAX)) {
    if (nextCr < begin) nextCr = next('\r', begin);
    if (nextLf < begin) nextLf = next('\n', begin);
    const std::size_t end = std::min(nextCr, nextLf);
    builder.Add(begin, end);
    begin = end + 1;
    if (end < all.size() && all[end] == '\r' && begin < all.size() && all[begin] == '\n') ++begin;
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

std::size_t ConfigLines::SlotOf(std::string_view name) const {
  const std::size_t mask = nameSlots_.size() - 1;
  const std::size_t hash = std::hash<std::string_view>{}(name);
  std::size_t slot = hash & mask;
  while (nameSlots_[slot] != kNoName && Name(nameSlots_[slot]) != name)
    slot = (slot + 1) & mask;
  return slot;
}

int ConfigLines::NameId(std::string_view name) const {
  return nameSlots_.empty() ? kNoName : nameSlots_[SlotOf(name)];
}

std::string_view ConfigLines::Line(int index) const {
  const auto at = static_cast<std::size_t>(index);
  std::size_t begin = 0;
  if (at > 0) {
    // Every line but the last has a line end: CR LF, LF or CR.
    begin = lineEnds_[at - 1] + 1;
    if (text_[begin - 1] == '\r' && begin < text_.size() && text_[begin] == '\n') ++begin;
  }
  return std::string_view(text_.data() + begin, lineEnds_[at] - begin);
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
    return {line.index, std::string(Name(line.parent))};
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
  return ValueText(Cut(ValueOf(index)));
}

std::string ConfigLines::PathValue(int index) const {
  return ValueText(ValueOf(index));
}

std::string_view ConfigLines::ValueOf(int index) const {
  if (index < 0 || index >= LineCount()) return {};
  const std::string_view line = Line(index);
  std::size_t first = 0;
  while (first < line.size() && IsValueSpace(line[first]))
    ++first;
  std::size_t last = line.size();
  while (last > first && IsValueSpace(line[last - 1]))
    --last;
  std::size_t at = first;
  while (at < last && !IsValueSpace(line[at]))  // the tag word
    ++at;
  while (at < last && IsValueSpace(line[at]))
    ++at;
  return line.substr(at, last - at);  // empty for a tag alone
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
