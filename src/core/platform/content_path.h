#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace kelvane {

// Finds a file named by content written on Windows: `\` separates folders,
// and a name that does not exist as written is matched component by
// component without regard to ASCII case. An exact match always wins.
// Relative names are taken in `folder`. Returns the path as it is on disk.
std::optional<std::filesystem::path> FindContentFile(const std::filesystem::path& folder,
                                                     std::string_view name);

// The read-only attribute of content files is the owner's write bit: this
// gives it back. Failures are ignored, as a file that stays read-only is
// still readable.
void ClearReadOnly(const std::filesystem::path& file);

}  // namespace kelvane
