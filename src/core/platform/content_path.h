#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane {

// Finds a file named by content written on Windows: `\` separates folders,
// and a name that does not exist as written is matched component by
// component without regard to ASCII case. An exact match always wins.
// Relative names are taken in `folder`. Returns the path as it is on disk.
std::optional<std::filesystem::path> FindContentFile(const std::filesystem::path& folder,
                                                     std::string_view name);

// The entry of `folder` called `name`: exactly, else the first spelling in
// name order that differs only in ASCII case.
std::optional<std::filesystem::path> FindFolderEntry(const std::filesystem::path& folder,
                                                     const std::string& name);

// The file called `name` in `folder` itself, found as FindFolderEntry does.
// For names read from content: a name with a folder part, "." or "..", and
// a link that leads out of the folder find nothing.
std::optional<std::filesystem::path> FindAssetFile(const std::filesystem::path& folder,
                                                   std::string_view name);

// `folder` made absolute against the working folder and normalised ("." and
// ".." folded away, no trailing separator), symbolic links kept.
std::filesystem::path AbsoluteFolder(const std::filesystem::path& folder);

// The read-only attribute of content files is the owner's write bit: this
// gives it back. Failures are ignored, as a file that stays read-only is
// still readable.
void ClearReadOnly(const std::filesystem::path& file);

// The content files that material textures are resolved against: found by
// name in the mesh folder and nowhere else, description files read as text, the read-only bit
// cleared. The viewer uses the disk; a test or fuzz target hands in files held in memory.
class ContentFiles {
 public:
  virtual ~ContentFiles() = default;
  virtual std::optional<std::filesystem::path> Find(const std::filesystem::path& folder,
                                                    std::string_view name) const = 0;
  // The whole file; empty when it cannot be read.
  virtual std::string ReadText(const std::filesystem::path& file) const = 0;
  virtual void ClearReadOnly(const std::filesystem::path& file) const = 0;
};

// The file system, through FindAssetFile and ClearReadOnly. Stateless.
const ContentFiles& DiskContentFiles();

}  // namespace kelvane
