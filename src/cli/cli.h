#pragma once

#include <optional>

namespace kelvane {

// Runs a headless mode when the arguments ask for one and returns the exit
// status; returns nothing when the viewer window should open instead.
std::optional<int> RunCommandLine(int argc, char** argv);

}  // namespace kelvane
