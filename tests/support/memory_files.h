#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "base/text.h"
#include "platform/content_path.h"

namespace kelvane::testing {

// Content files held in memory, looked up as the disk lookup does: `\`
// becomes `/`, an exact name wins, otherwise ASCII case is ignored and the
// first such name in name order is taken. The folder is not part of a name.
class MemoryContentFiles final : public ContentFiles {
 public:
  void Add(std::string name, std::string content) { files_[std::move(name)] = std::move(content); }

  std::optional<std::filesystem::path> Find(const std::filesystem::path&,
                                            std::string_view name) const override {
    if (name.empty()) return std::nullopt;
    std::string wanted(name);
    for (char& c : wanted) {
      if (c == '\\') c = '/';
    }
    if (files_.contains(wanted)) return std::filesystem::path(wanted);
    for (const auto& [stored, content] : files_) {
      if (EqualsIgnoringAsciiCase(stored, wanted)) return std::filesystem::path(stored);
    }
    return std::nullopt;
  }
  std::string ReadText(const std::filesystem::path& file) const override {
    const auto found = files_.find(file.generic_string());
    return found == files_.end() ? std::string() : found->second;
  }
  void ClearReadOnly(const std::filesystem::path&) const override {}

  bool Holds(const std::filesystem::path& file) const {
    return files_.contains(file.generic_string());
  }

 private:
  std::map<std::string, std::string> files_;
};

}  // namespace kelvane::testing
