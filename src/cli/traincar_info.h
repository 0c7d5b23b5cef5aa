#pragma once

#include <filesystem>
#include <ostream>

namespace kelvane {

// True when `path` names a traincar: a folder, or a file called config.txt
// in any case.
bool IsTraincarPath(const std::filesystem::path& path);

// Composes the traincar without a window and prints one JSON object
// describing it. Returns the process exit status: 0 composed, 1 not.
int RunTraincarInfo(const std::filesystem::path& path, std::ostream& out);

}  // namespace kelvane
