#include "assets/openwith_setup.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <algorithm>
#include <chrono>
#include <iterator>

#include "platform/dos_command.h"

#include "fixtures/asset_writer.h"
#include "platform/wine_paths.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;

using testing::ReadText;

// A Wine prefix with the usual drive links: C: to drive_c, Z: to the root.
struct FakePrefix {
  testing::TempDir dir;
  WinePrefix wine{dir / "prefix"};
  fs::path driveC = wine.folder / "drive_c";

  FakePrefix() {
    fs::create_directories(driveC);
    fs::create_directories(wine.folder / "dosdevices");
    fs::create_directory_symlink("../drive_c", wine.folder / "dosdevices" / "c:");
    fs::create_directory_symlink("/", wine.folder / "dosdevices" / "z:");
  }
  fs::path Tools(const std::string& installation) {
    const auto tools = driveC / installation / "bin" / "Vantorbase" / "Tools";
    fs::create_directories(tools);
    return tools;
  }
};

TEST(WinePathsTest, MapsDrivePathsThroughThePrefix) {
  FakePrefix p;
  fs::create_directories(p.driveC / "Program Files" / "Ostrand");
  EXPECT_EQ(HostPathOf(p.wine, "C:\\PROGRAM FILES\\ostrand\\New Folder"),
            p.driveC / "Program Files" / "Ostrand" / "New Folder");
  EXPECT_EQ(HostPathOf(p.wine, "z:/tmp"), fs::path("/tmp"));
  EXPECT_FALSE(HostPathOf(p.wine, "/home/user"));
  EXPECT_EQ(HostPathFromArgument(p.wine, "/home/user/loco"), fs::path("/home/user/loco"));
  EXPECT_EQ(HostPathFromArgument(p.wine, "c:\\Program Files"), p.driveC / "Program Files");
}

TEST(OpenWithMacroTest, WineRunsTheMacro) {
  const auto wine = FindWine();
  if (!wine) GTEST_SKIP() << "wine is not installed, so the macro is not run here";
  testing::TempDir dir;
  const auto record = dir / "arguments.txt";
  const auto viewer = dir / "100% viewer" / "kelvane";
  ASSERT_EQ(::mkfifo(record.c_str(), 0600), 0);
  fixtures::WriteTextFile(viewer, "#!/bin/sh\nprintf '[%s]' \"$@\" >'" + record.string() + "'\n");
  fs::permissions(viewer, fs::perms::owner_exec, fs::perm_options::add);
  WriteOpenWithMacro(dir / "Railglass.bat", viewer);

  // Wine's Z: drive is the root folder.
  std::string macro = "Z:" + (dir / "Railglass.bat").string();
  std::replace(macro.begin(), macro.end(), '/', '\\');
  RecordingNotifier notifier;
  TDosCommand command(notifier, [](std::function<void()> task) { task(); });
  command.SetEnvironment({"WINEPREFIX=" + (dir / "prefix").string(), "WINEDEBUG=-all"});
  command.SetCommandLine({wine->string(), "cmd", "/c", macro, "C:\\Assets\\loco"});
  command.Execute();
  // Read from the pipe once the viewer opens it, however long Wine takes to
  // make its new prefix.
  EXPECT_EQ(ReadText(record), "[C:\\Assets\\loco]");
}

class SetOpenWithTest : public ::testing::Test {
 protected:
  OpenWithEnvironment Environment() {
    OpenWithEnvironment env;
    env.wine = prefix.wine;
    env.executable = prefix.driveC / "Kelvane" / "kelvane";
    env.browseFolder = [this](const std::string& caption,
                              const fs::path& start) -> std::optional<fs::path> {
      captions.push_back(caption);
      starts.push_back(start);
      if (answers.empty()) return std::nullopt;
      auto answer = answers.front();
      answers.erase(answers.begin());
      return answer;
    };
    env.pause = [this](std::chrono::milliseconds ms) { pauses.push_back(ms); };
    return env;
  }

  FakePrefix prefix;
  HostFolderSettings settings;
  ProgressLog log;
  std::vector<std::string> captions;
  std::vector<fs::path> starts;
  std::vector<std::optional<fs::path>> answers;
  std::vector<std::chrono::milliseconds> pauses;
  std::string macro = "@echo off\r\nstart \"\" /unix \"" +
                      (prefix.driveC / "Kelvane/kelvane").string() + "\" %1\r\n";
};

TEST_F(SetOpenWithTest, FirstRunWithOnlyDunmereInstalled) {
  const auto tools = prefix.Tools("Program Files (x86)/Ostrand/Dunmere");
  ASSERT_TRUE(settings.AllEmpty());
  SetOpenWith(settings, log, Environment());

  EXPECT_EQ(ReadText(tools / "OpenWith" / "Railglass.bat"), macro);
  EXPECT_EQ(settings[HostVersion::Corvel], "NotFound");
  EXPECT_EQ(settings[HostVersion::Dunmere],
            (prefix.driveC / "Program Files (x86)" / "Ostrand" / "Dunmere").string());
  EXPECT_EQ(settings[HostVersion::Estrel], "NotFound");
  // The user is asked for the two versions not found, in order.
  ASSERT_EQ(captions.size(), 2u);
  EXPECT_NE(captions[0].find("Corvel"), std::string::npos);
  EXPECT_NE(captions[1].find("Estrel"), std::string::npos);
  // Each dialog starts on the prefix's C: drive, where the hosts install.
  for (const fs::path& start : starts)
    EXPECT_TRUE(fs::equivalent(start, prefix.driveC)) << start;
  ASSERT_EQ(log.lines.size(), 9u);
  EXPECT_EQ(log.lines[3], "Dunmere OpenWith Macro loaded");
  EXPECT_EQ(pauses, std::vector<std::chrono::milliseconds>{std::chrono::milliseconds(3000)});
  EXPECT_EQ(log.stage, ProgressLog::Stage::kQuiet);
}

TEST_F(SetOpenWithTest, TheMenuCommandLooksForEveryVersionAgain) {
  const auto estrel = prefix.Tools("Games/Estrel");
  fs::create_directories(prefix.driveC / "Games" / "Corvel");  // no tools folder
  // An existing macro folder is used as it is spelled, its macro overwritten.
  fixtures::WriteTextFile(estrel / "openwith" / "RAILGLASS.BAT", "old");
  settings[HostVersion::Corvel] = "NotFound";
  settings[HostVersion::Dunmere] = "NotFound";
  settings[HostVersion::Estrel] = "NotFound";
  answers = {prefix.driveC / "Games" / "Corvel", std::nullopt, prefix.driveC / "Games" / "Estrel"};

  OpenWith1Click(settings, log, Environment());
  EXPECT_EQ(captions.size(), 3u);
  EXPECT_EQ(settings[HostVersion::Corvel], "NotFound");
  EXPECT_EQ(settings[HostVersion::Dunmere], "NotFound");
  EXPECT_EQ(settings[HostVersion::Estrel], (prefix.driveC / "Games" / "Estrel").string());
  // Overwritten, whatever the case of its name, and not joined by another.
  EXPECT_EQ(ReadText(estrel / "openwith" / "RAILGLASS.BAT"), macro);
  EXPECT_EQ(std::distance(fs::directory_iterator(estrel / "openwith"), fs::directory_iterator()),
            1);
  EXPECT_FALSE(fs::exists(estrel / "OpenWith"));
  EXPECT_EQ(log.lines.back(), "Estrel OpenWith Macro loaded");
}

}  // namespace
}  // namespace kelvane
