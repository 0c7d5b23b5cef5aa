#include "platform/content_path.h"

#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#include "base/text.h"

namespace kelvane {

std::optional<std::filesystem::path> FindFolderEntry(const std::filesystem::path& folder,
                                                     const std::string& name) {
  std::error_code ec;
  const auto exact = folder / name;
  if (std::filesystem::exists(exact, ec)) return exact;
  std::optional<std::filesystem::path> found;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (EqualsIgnoringAsciiCase(it->path().filename().string(), name)) {
      // Several spellings of one name: take the first in name order so the
      // choice does not depend on the listing order.
      if (!found || it->path() < *found) found = it->path();
    }
  }
  return found;
}

std::optional<std::filesystem::path> FindContentFile(const std::filesystem::path& folder,
                                                     std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::string portable(name);
  for (char& c : portable) {
    if (c == '\\') c = '/';
  }
  const std::filesystem::path relative(portable);
  std::filesystem::path start = relative.is_absolute() ? relative.root_path() : folder;
  if (start.empty()) start = ".";

  std::error_code ec;
  const auto exact = relative.is_absolute() ? relative : folder / relative;
  if (std::filesystem::is_regular_file(exact, ec)) return exact;

  std::filesystem::path current = start;
  for (const auto& part : relative.relative_path()) {
    const std::string component = part.string();
    if (component.empty() || component == ".") continue;
    if (component == "..") {
      current /= component;
      continue;
    }
    auto next = FindFolderEntry(current, component);
    if (!next) return std::nullopt;
    current = *next;
  }
  if (!std::filesystem::is_regular_file(current, ec)) return std::nullopt;
  return current;
}

std::optional<std::filesystem::path> FindAssetFile(const std::filesystem::path& folder,
                                                   std::string_view name) {
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of("/\\") != std::string_view::npos) {
    return std::nullopt;
  }
  const std::filesystem::path home = folder.empty() ? std::filesystem::path(".") : folder;
  auto found = FindFolderEntry(home, std::string(name));
  std::error_code ec;
  if (!found || !std::filesystem::is_regular_file(*found, ec)) return std::nullopt;
  // A link in the folder may lead out of it: what it names must lie there.
  const auto real = std::filesystem::canonical(*found, ec);
  if (ec) return std::nullopt;
  const auto realHome = std::filesystem::canonical(home, ec);
  if (ec || real.parent_path() != realHome) return std::nullopt;
  return found;
}

std::filesystem::path AbsoluteFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::path out = std::filesystem::absolute(folder, ec);
  if (ec) out = folder;
  out = out.lexically_normal();
  if (!out.has_filename() && out.has_relative_path()) out = out.parent_path();
  return out;
}

void ClearReadOnly(const std::filesystem::path& file) {
  std::error_code ignored;
  std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, ignored);
}

namespace {

class DiskFiles final : public ContentFiles {
 public:
  std::optional<std::filesystem::path> Find(const std::filesystem::path& folder,
                                            std::string_view name) const override {
    return FindAssetFile(folder, name);
  }
  std::string ReadText(const std::filesystem::path& file) const override {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  void ClearReadOnly(const std::filesystem::path& file) const override {
    kelvane::ClearReadOnly(file);
  }
};

}  // namespace

const ContentFiles& DiskContentFiles() {
  static const DiskFiles disk;
  return disk;
}

}  // namespace kelvane
