#include "platform/wine_paths.h"

#include "base/text.h"
#include "platform/content_path.h"

#include <cstdlib>
#include <fstream>
#include <system_error>
#include <vector>

#include <unistd.h>

namespace kelvane {

namespace {

std::vector<std::string> Components(std::string_view relative) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : relative) {
    if (c == '\\' || c == '/') {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current.push_back(c);
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

// The entry of `dir` called `name`, in any ASCII case.
std::optional<std::filesystem::path> Entry(const std::filesystem::path& dir,
                                           const std::string& name) {
  if (name == "." || name == "..") return dir / name;
  return FindFolderEntry(dir, name);
}

}  // namespace

WinePrefix WinePrefix::FromEnvironment() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix && *prefix) return {prefix};
  const char* home = std::getenv("HOME");
  return {std::filesystem::path(home && *home ? home : ".") / ".wine"};
}

bool IsWindowsPath(std::string_view text) {
  return text.size() >= 3 && AsciiLower(text[0]) >= 'a' && AsciiLower(text[0]) <= 'z' &&
         text[1] == ':' && (text[2] == '\\' || text[2] == '/');
}

std::optional<std::filesystem::path> FindIgnoringCase(const std::filesystem::path& base,
                                                      std::string_view relative) {
  std::filesystem::path current = base;
  for (const std::string& part : Components(relative)) {
    auto next = Entry(current, part);
    if (!next) return std::nullopt;
    current = *next;
  }
  std::error_code ec;
  if (!std::filesystem::exists(current, ec)) return std::nullopt;
  return current;
}

std::optional<std::filesystem::path> HostPathOf(const WinePrefix& prefix,
                                                std::string_view windowsPath) {
  if (!IsWindowsPath(windowsPath)) return std::nullopt;
  const char letter = AsciiLower(windowsPath[0]);
  std::error_code ec;
  std::filesystem::path root = prefix.folder / "dosdevices" / (std::string(1, letter) + ":");
  if (!std::filesystem::is_directory(root, ec)) {
    if (letter == 'c') root = prefix.folder / "drive_c";
    if (letter == 'z') root = "/";
  }
  // The drive's own folder, not the link to it.
  if (auto target = std::filesystem::canonical(root, ec); !ec) root = target;
  std::filesystem::path current = root;
  bool matching = true;
  for (const std::string& part : Components(windowsPath.substr(2))) {
    if (matching) {
      if (auto next = Entry(current, part)) {
        current = *next;
        continue;
      }
      matching = false;
    }
    current /= part;
  }
  return current;
}

std::filesystem::path HostPathFromArgument(const WinePrefix& prefix, std::string_view argument) {
  if (auto host = HostPathOf(prefix, argument)) return *host;
  return std::filesystem::path(argument);
}

std::optional<std::filesystem::path> PrefixHolding(const std::filesystem::path& file) {
  std::error_code ec;
  const auto nearest =
      [](const std::filesystem::path& path) -> std::optional<std::filesystem::path> {
    for (auto folder = path.parent_path(); folder.has_relative_path();
         folder = folder.parent_path()) {
      const auto name = folder.filename();
      if (name == "drive_c" || name == "dosdevices") return folder.parent_path();
    }
    return std::nullopt;
  };
  if (auto prefix = nearest(AbsoluteFolder(file))) return prefix;
  const auto real = std::filesystem::canonical(file, ec);
  return ec ? std::nullopt : nearest(real);
}

std::optional<std::filesystem::path> FindWine() {
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const auto colon = folders.find(':');
    // An empty entry is the working folder, as the shells take it.
    const std::string_view folder = folders.substr(0, colon);
    const auto candidate = std::filesystem::path(folder.empty() ? "." : folder) / "wine";
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec) && ::access(candidate.c_str(), X_OK) == 0)
      return std::filesystem::absolute(candidate, ec);
    if (colon == std::string_view::npos) return std::nullopt;
    folders.remove_prefix(colon + 1);
  }
}

bool IsWindowsExecutable(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  char magic[2] = {};
  return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

}  // namespace kelvane
