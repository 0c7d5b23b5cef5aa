#include "settings/mem_ini.h"

#include "base/text.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <unistd.h>
#endif

namespace kelvane {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
  text = Trim(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty()) return std::nullopt;
  std::uint64_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  // Hexadecimal values name 32 bits (colours); decimal ones must fit.
  if (base == 16) {
    if (value > 0xFFFFFFFFull) return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(value);
    const auto v = static_cast<std::int32_t>(bits);
    return negative ? static_cast<std::int32_t>(0u - bits) : v;
  }
  if (value > (negative ? 2147483648ull : 2147483647ull)) return std::nullopt;
  return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                  : static_cast<std::int32_t>(value);
}

std::optional<float> ParseIniFloat(std::string_view text) {
  // Floats are written with a point; any other text (a comma from a
  // hand edit) is no number here and the key's default stands.
  std::string s(Trim(text));
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  float value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || ec != std::errc{} || end != s.data() + s.size()) return std::nullopt;
  return value;
}

TMemIni::TMemIni(std::filesystem::path file) : file_(std::move(file)) {
  std::error_code ec;
  if (!std::filesystem::exists(file_, ec)) {
    status_ = ReadStatus::Missing;
    return;
  }
  if (std::filesystem::is_directory(file_, ec)) {
    status_ = ReadStatus::Unreadable;
    readError_ = "it is a folder";
    return;
  }
  std::string text;
  try {
    std::ifstream in(file_, std::ios::binary);
    if (!in) {
      status_ = ReadStatus::Unreadable;
      readError_ = std::strerror(errno);
      return;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception& e) {
    status_ = ReadStatus::Unreadable;
    readError_ = e.what();
    return;
  }
  if (text.find('\0') != std::string::npos) {
    status_ = ReadStatus::Unreadable;
    readError_ = "it is not a text file";
    return;
  }
  status_ = ReadStatus::Read;
  Parse(text);
}

TMemIni TMemIni::FromText(std::string_view text) {
  TMemIni ini;
  ini.status_ = ReadStatus::Read;
  ini.Parse(text);
  return ini;
}

void TMemIni::Parse(std::string_view text) {
  Section* current = nullptr;
  // Editors that save UTF-8 may put a byte-order mark before the first
  // section, which would otherwise hide it.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  std::size_t start = text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  // The next CR and LF, each looked for again only once passed: a search
  // for either at once costs a look-up per character.
  std::size_t nextCr = text.find('\r', start), nextLf = text.find('\n', start);
  while (start < text.size()) {
    if (nextCr < start) nextCr = text.find('\r', start);
    if (nextLf < start) nextLf = text.find('\n', start);
    const std::size_t end = std::min({nextCr, nextLf, text.size()});
    const std::string_view line = Trim(text.substr(start, end - start));
    start = end;
    if (start < text.size() && text[start] == '\r') ++start;
    if (start < text.size() && text[start] == '\n') ++start;

    if (line.empty() || line[0] == ';') continue;
    if (line.front() == '[' && line.back() == ']') {
      const std::string_view name = Trim(line.substr(1, line.size() - 2));
      current = nullptr;
      for (Section& s : sections_) {
        if (EqualsIgnoringAsciiCase(s.name, name)) current = &s;
      }
      if (!current) {
        sections_.push_back({std::string(name), {}});
        current = &sections_.back();
      }
      continue;
    }
    const std::size_t equals = line.find('=');
    if (!current || equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string_view value = Trim(line.substr(equals + 1));
    bool seen = false;
    for (const Entry& e : current->entries)
      seen = seen || EqualsIgnoringAsciiCase(e.key, key);
    if (!seen) current->entries.push_back({std::string(key), std::string(value)});
  }
}

const std::string* TMemIni::Find(std::string_view section, std::string_view key) const {
  for (const Section& s : sections_) {
    if (!EqualsIgnoringAsciiCase(s.name, section)) continue;
    for (const Entry& e : s.entries) {
      if (EqualsIgnoringAsciiCase(e.key, key)) return &e.value;
    }
  }
  return nullptr;
}

std::string TMemIni::ReadString(std::string_view section, std::string_view key,
                                std::string_view fallback) const {
  const std::string* v = Find(section, key);
  if (!v) return std::string(fallback);
  const std::string& s = *v;
  if (s.size() >= 2 &&
      ((s.front() == '"' && s.back() == '"') || (s.front() == '\'' && s.back() == '\''))) {
    return s.substr(1, s.size() - 2);
  }
  return s;
}

std::int32_t TMemIni::ReadInteger(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
  const std::string* v = Find(section, key);
  if (!v) return fallback;
  return ParseIniInteger(*v).value_or(fallback);
}

bool TMemIni::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  const std::string* v = Find(section, key);
  if (!v) return fallback;
  const auto parsed = ParseIniInteger(*v);
  return parsed ? *parsed != 0 : fallback;
}

float TMemIni::ReadFloat(std::string_view section, std::string_view key, float fallback) const {
  const std::string* v = Find(section, key);
  if (!v) return fallback;
  return ParseIniFloat(*v).value_or(fallback);
}

void TMemIni::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section* target = nullptr;
  for (Section& s : sections_) {
    if (EqualsIgnoringAsciiCase(s.name, section)) target = &s;
  }
  if (!target) {
    sections_.push_back({std::string(section), {}});
    target = &sections_.back();
  }
  // Line breaks would split the entry; they cannot be kept in one line.
  std::string clean(value);
  for (char& c : clean) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  for (Entry& e : target->entries) {
    if (EqualsIgnoringAsciiCase(e.key, key)) {
      e.value = std::move(clean);
      return;
    }
  }
  target->entries.push_back({std::string(key), std::move(clean)});
}

void TMemIni::WriteInteger(std::string_view section, std::string_view key, std::int32_t value) {
  WriteString(section, key, std::to_string(value));
}

void TMemIni::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void TMemIni::WriteFloat(std::string_view section, std::string_view key, float value) {
  char buffer[64];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
  WriteString(section, key, std::string_view(buffer, ec == std::errc{} ? end - buffer : 0));
}

std::string TMemIni::Text() const {
  std::string out;
  for (const Section& s : sections_) {
    if (!out.empty()) out += "\n";
    out += "[" + s.name + "]\n";
    for (const Entry& e : s.entries)
      out += e.key + "=" + e.value + "\n";
  }
  return out;
}

bool TMemIni::UpdateFile(std::string* error) const {
  return WriteFileAtomically(file_, Text(), error);
}

bool WriteFileAtomically(const std::filesystem::path& file, std::string_view content,
                         std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  std::error_code ec;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ec);
  std::filesystem::path temp = file;
  temp += ".new";
#if defined(__unix__) || defined(__APPLE__)
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return fail(std::strerror(errno));
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const std::string why = std::strerror(errno);
      ::close(fd);
      std::filesystem::remove(temp, ec);
      return fail(why);
    }
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) {
    const std::string why = std::strerror(errno);
    std::filesystem::remove(temp, ec);
    return fail(why);
  }
#else
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    out.flush();
    if (!out) return fail("cannot write " + temp.string());
  }
#endif
  std::filesystem::rename(temp, file, ec);
  if (ec) {
    const std::string why = ec.message();
    std::filesystem::remove(temp, ec);
    return fail(why);
  }
#if defined(__unix__) || defined(__APPLE__)
  // The rename itself reaches the disk with the folder.
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
#endif
  return true;
}

}  // namespace kelvane
