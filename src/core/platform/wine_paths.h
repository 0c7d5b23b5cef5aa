#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kelvane {

// Where the simulator's Windows drives live on this host: the Wine prefix,
// whose "dosdevices" folder holds one link per drive letter ("c:", "z:").
struct WinePrefix {
  std::filesystem::path folder;

  // $WINEPREFIX, or ~/.wine when it is unset or empty.
  static WinePrefix FromEnvironment();
};

// True for a path written as a Windows drive path, "C:\..." or "C:/...".
bool IsWindowsPath(std::string_view text);

// The existing path that `relative` names under `base`, each component
// matched exactly or else without regard to ASCII case (files and folders).
// `relative` may use `\` or `/`.
std::optional<std::filesystem::path> FindIgnoringCase(const std::filesystem::path& base,
                                                      std::string_view relative);

// The host path of a Windows drive path, through the prefix's drive links
// (or "drive_c" for C: when the link is missing). The components are matched
// without regard to case where they exist; the rest is appended as written.
// Empty when `windowsPath` is not a drive path.
std::optional<std::filesystem::path> HostPathOf(const WinePrefix& prefix,
                                                std::string_view windowsPath);

// A command-line argument as a host path: Windows drive paths go through the
// prefix, anything else is taken as written.
std::filesystem::path HostPathFromArgument(const WinePrefix& prefix, std::string_view argument);

// The Wine prefix that holds `file`: the folder above the nearest "drive_c"
// or "dosdevices" on its path as written, else on its real path.
std::optional<std::filesystem::path> PrefixHolding(const std::filesystem::path& file);

// The `wine` program on the PATH, when there is one.
std::optional<std::filesystem::path> FindWine();

// True when the file starts like a Windows executable ("MZ").
bool IsWindowsExecutable(const std::filesystem::path& file);

}  // namespace kelvane
