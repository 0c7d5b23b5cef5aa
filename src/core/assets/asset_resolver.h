#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "assets/progress_log.h"
#include "assets/wine_paths.h"

namespace kelvane {

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
};

// The utility for an asset folder: "bin" beside the "editing" folder, then
// "bin" beside the "userdata" folder (the second wins). The two words are
// found without regard to case; the path keeps its own case. Empty when
// neither holds the utility.
std::filesystem::path FindUtility(const std::filesystem::path& folder);

// The "editing" folder that holds `folder`, when it exists; else empty.
std::filesystem::path EditingFolder(const std::filesystem::path& folder);

// The next version of a kuid, in lower case: a kuid without version becomes
// version 1, version 127 stays 127. Empty when the version cannot be read.
std::optional<std::string> NextKuidVersion(std::string_view kuid);

// The command line that starts the utility on a kuid: through wine when it is
// a Windows program, directly otherwise.
std::string UtilityCommandLine(const std::filesystem::path& utility, std::string_view kuid);

// The folder (in the editing folder of the asset folder) whose config.txt
// carries exactly `kuid`; of several, the last in name order. Empty when
// none does or the asset lies under no editing folder.
std::filesystem::path FindFolderForKuid(ResolverContext& context, const std::string& kuid);

// Runs the utility on `kuid` and waits for it. True when it ended in time.
bool OpenForEditing(ResolverContext& context, const std::string& kuid);

// The folder of the asset carrying `kuid` or one of its next four versions,
// asking the utility to fetch it when it is not in the editing folder.
std::filesystem::path ResolveAssetFolder(ResolverContext& context, const std::string& kuid);

}  // namespace kelvane
