#pragma once

#include <optional>
#include <string>
#include <vector>

namespace kelvane {

// What the viewer window is started with.
struct ViewerArguments {
  std::vector<std::string> files;  // as given; the window takes exactly one
  std::string settingsFile;        // empty: the default place
};

// Runs a headless mode when the arguments ask for one and returns the exit
// status; returns nothing when the viewer window should open instead, with
// `viewer` (when given) filled from the arguments.
std::optional<int> RunCommandLine(int argc, char** argv, ViewerArguments* viewer = nullptr);

}  // namespace kelvane
