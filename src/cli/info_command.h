#pragma once

#include <filesystem>
#include <ostream>

namespace kelvane {

struct InfoOptions {
  std::filesystem::path path;
  bool geometry = false;
};

// Loads a mesh without a window, its textures through the real loader
// (into a headless GL context when one can be had, decoded only otherwise),
// and prints one JSON object describing it.
// Returns the process exit status: 0 loaded, 1 not loaded.
int RunInfo(const InfoOptions& options, std::ostream& out);

}  // namespace kelvane
