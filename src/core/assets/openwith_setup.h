#pragma once

#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "assets/progress_log.h"
#include "platform/wine_paths.h"
#include "settings/viewer_settings.h"

namespace kelvane {

// The three simulator versions the OpenWith macro is installed into.
enum class HostVersion { Corvel = 0, Dunmere = 1, Estrel = 2 };
inline constexpr std::array<HostVersion, 3> kHostVersions{HostVersion::Corvel, HostVersion::Dunmere,
                                                          HostVersion::Estrel};

// Value of a version that was set up without success; it is not looked for
// again until the user asks.
inline constexpr const char* kNotFound = "NotFound";

// The settings this set-up reads and writes (section "Paths", keys
// "Corvel_dir", "Dunmere_dir", "Estrel_dir"). Empty: not set up yet.
struct HostFolderSettings {
  std::array<std::string, 3> folders;

  std::string& operator[](HostVersion v) { return folders[static_cast<std::size_t>(v)]; }
  const std::string& operator[](HostVersion v) const {
    return folders[static_cast<std::size_t>(v)];
  }
  // True on the first run, when the set-up starts by itself.
  bool AllEmpty() const;
};

// The three host folders as the set-up works on them, and back.
HostFolderSettings HostFolders(const ViewerSettings& settings);
void StoreHostFolders(ViewerSettings& settings, const HostFolderSettings& folders);

// What the set-up needs from the window and the host.
struct OpenWithEnvironment {
  WinePrefix wine = WinePrefix::FromEnvironment();
  // The running viewer.
  std::filesystem::path executable;
  // The folder-browse dialog: a caption and the folder it starts in (the
  // prefix's C: drive, where the hosts install; empty when there is none);
  // nothing when cancelled.
  std::function<std::optional<std::filesystem::path>(const std::string& caption,
                                                     const std::filesystem::path& start)>
      browseFolder;
  // The pause that lets the log be read; the window may keep responding.
  std::function<void(std::chrono::milliseconds)> pause;
};

// The macro's two lines, each ended by CR LF. The second has Wine's cmd
// start `program`, a path of this host, on the macro's argument.
std::string OpenWithMacroText(const std::filesystem::path& program);

// Writes the macro file (an existing one is overwritten). Throws
// std::filesystem::filesystem_error when it cannot be written.
void WriteOpenWithMacro(const std::filesystem::path& macroFile,
                        const std::filesystem::path& program);

// The first existing default installation folder of a version, inside the
// Wine prefix; empty when none exists.
std::filesystem::path DefaultHostFolder(const WinePrefix& wine, HostVersion version);

// Sets up every version whose folder is empty: finds or asks for its
// installation, writes the macro into its tools folder and logs the result.
void SetOpenWith(HostFolderSettings& settings, ProgressLog& log, const OpenWithEnvironment& env);

// The Setup > OpenWith command: every version is looked for again.
void OpenWith1Click(HostFolderSettings& settings, ProgressLog& log, const OpenWithEnvironment& env);

}  // namespace kelvane
