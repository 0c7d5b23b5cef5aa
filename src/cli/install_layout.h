#pragma once

#include <filesystem>

namespace kelvane {

// The folder of the running program; empty when it cannot be told.
std::filesystem::path ExecutableFolder();

// Where the program finds its data (track images, help page): beside
// itself in a build folder, else in the data folder of its install prefix,
// found relative to the program so that a moved prefix still works. Empty
// when neither holds the data.
std::filesystem::path DataFolder(const std::filesystem::path& exeFolder);

// The program runs from an install prefix rather than from its build folder.
bool IsInstalled(const std::filesystem::path& exeFolder);

// An installed program keeps its settings in the user's configuration
// folder even when its own folder is writable (as /usr/bin is for root);
// a build keeps them beside itself when it can.
std::filesystem::path SettingsPathFor(const std::filesystem::path& executable);

}  // namespace kelvane
