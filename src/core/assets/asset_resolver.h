#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "assets/progress_log.h"
#include "platform/wine_paths.h"

namespace kelvane {

class Notifier;
class TDosCommand;

// The simulator's utility is looked for under this name in "bin" folders.
inline constexpr std::string_view kUtilityName = "VelmoraUtil.exe";

// What a lookup needs from the window and the host.
struct ResolverHooks {
  // Processes pending window messages while the utility runs.
  std::function<void()> pump;
  // Hourglass (true) or arrow (false).
  std::function<void(bool busy)> busyCursor;
  // True once the lookup is to end (the window is closing): a running
  // utility is stopped, no other one is started and waits end early.
  std::function<bool()> stopRequested;
};

struct ResolverTiming {
  std::chrono::milliseconds round{100};    // one sleep between polls
  int rounds = 100;                        // polls before giving up
  std::chrono::milliseconds settle{1000};  // after the utility opened the kuid itself
};

// State of one asset lookup: the folder of the asset being read, the
// runner that starts the utility, and the progress box.
struct ResolverContext {
  std::filesystem::path& assetFolder;
  TDosCommand& runner;
  ProgressLog& log;
  ResolverHooks hooks;
  ResolverTiming timing;
  WinePrefix wine = WinePrefix::FromEnvironment();
  // Shows, once, that a Windows utility cannot run without wine.
  Notifier* notifier = nullptr;
  // The wine program, looked up on PATH at the first Windows utility; an
  // empty path when it is not there.
  std::optional<std::filesystem::path> wineProgram;
  bool wineMissingShown = false;
  // Whether that wine starts 32-bit programs, looked at once when needed.
  std::optional<bool> wineRuns32Bit;
  // Shows, once, what a utility printed when it ran but its asset did not
  // appear.
  bool utilityOutputShown = false;
};

// The utility for an asset folder: "bin" beside the "editing" folder, then
// "bin" beside the "userdata" folder (the second wins). The folder is made
// absolute first; "editing" and "userdata" are whole path components in any
// case, the ones nearest to the asset, never the first one. The path keeps
// its own case. Empty when neither holds the utility.
std::filesystem::path FindUtility(const std::filesystem::path& folder);

// The "editing" folder nearest above `folder` (absolute, ending with a
// separator), when it exists; else empty.
std::filesystem::path EditingFolder(const std::filesystem::path& folder);

// The next version of a kuid, in lower case: a kuid without version becomes
// version 1, version 127 stays 127. Empty when the version cannot be read.
std::optional<std::string> NextKuidVersion(std::string_view kuid);

// How the utility is started on a kuid: the program and its arguments, and
// the variables the child gets on top of ours.
struct UtilityLaunch {
  std::vector<std::string> arguments;
  std::vector<std::string> environment;
};

// A native utility runs directly. A Windows one runs through `wine` (its
// path given) in the Wine prefix that holds it, or in `fallback` when it
// lies in none.
UtilityLaunch UtilityCommandLine(const std::filesystem::path& utility, std::string_view kuid,
                                 const std::filesystem::path& wine, const WinePrefix& fallback);

// The folder (in the editing folder of the asset folder) whose config.txt
// carries exactly `kuid`; of several, the last in the order the host lists
// them, by name without regard to case. Empty when none does or the asset
// lies under no editing folder.
std::filesystem::path FindFolderForKuid(ResolverContext& context, const std::string& kuid);

// Runs the utility on `kuid` and waits for it. True when it ended in time.
// A text that is not a kuid is logged and never reaches the utility. A
// Windows utility needs wine, and a 32-bit one (by its PE header) a Wine
// that runs 32-bit programs: without it the utility is not started and one
// message says what to install.
bool OpenForEditing(ResolverContext& context, const std::string& kuid);

// The folder of the asset carrying `kuid` or one of its next four versions,
// asking the utility to fetch it when it is not in the editing folder. A
// text that is not a kuid is logged and skipped. When the utility ran but
// no asset appeared, its output is shown once.
std::filesystem::path ResolveAssetFolder(ResolverContext& context, const std::string& kuid);

}  // namespace kelvane
