#include "assets/asset_resolver.h"

#include <gtest/gtest.h>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "fixtures/executable_writer.h"
#include "support/asset_world.h"

namespace kelvane {
namespace {

using fixtures::AssetConfig;
using fixtures::WriteConfig;
using testing::AssetWorld;
using testing::Workbench;

AssetConfig Part(const std::string& kuid) {
  return {.kuid = kuid, .kind = "bogey"};
}

TEST(FindUtilityTest, LooksBesideEditingThenBesideUserdata) {
  AssetWorld world;
  const auto asset = world.editing / "loco";
  std::filesystem::create_directories(asset);
  EXPECT_TRUE(FindUtility(asset).empty());

  // "bin" beside "editing" alone.
  fixtures::WriteTextFile(world.root / "userdata" / "bin" / "VelmoraUtil.exe", "x");
  EXPECT_EQ(FindUtility(asset), world.root / "userdata" / "bin" / "VelmoraUtil.exe");

  // The one beside "userdata" wins when both exist.
  world.InstallUtility();
  EXPECT_EQ(FindUtility(asset), world.bin / "VelmoraUtil.exe");
}

TEST(FindUtilityTest, FolderWordsInAnyCaseAndNothingOutsideThem) {
  testing::TempDir dir;
  const auto asset = dir / "Sim/UserData/Editing/Loco";
  std::filesystem::create_directories(asset);
  fixtures::WriteTextFile(dir / "Sim/BIN/velmorautil.EXE", "x");
  EXPECT_EQ(FindUtility(asset), dir / "Sim/BIN/velmorautil.EXE");
  EXPECT_EQ(EditingFolder(asset).generic_string(),
            (dir / "Sim/UserData/Editing/").generic_string());

  fixtures::WriteTextFile(dir / "bin/VelmoraUtil.exe", "x");
  std::filesystem::create_directories(dir / "assets/loco");
  EXPECT_TRUE(FindUtility(dir / "assets/loco").empty());
  EXPECT_TRUE(EditingFolder(dir / "assets/loco").empty());
}

TEST(FindUtilityTest, RelativeFoldersAndFoldersWhoseNamesHoldTheWords) {
  // "Editing" inside a parent's name is no editing folder.
  AssetWorld world("Video Editing/my userdata/Velmora");
  world.InstallUtility();
  const auto asset = world.editing / "loco";
  std::filesystem::create_directories(asset);
  EXPECT_EQ(FindUtility(asset), world.bin / "VelmoraUtil.exe");
  EXPECT_EQ(EditingFolder(asset), world.editing / "");

  testing::ScopedWorkingFolder inside(asset);
  for (const std::filesystem::path relative : {".", "./", "../loco/.", "../../editing/loco"}) {
    EXPECT_EQ(FindUtility(relative), world.bin / "VelmoraUtil.exe") << relative;
    EXPECT_EQ(EditingFolder(relative), world.editing / "") << relative;
  }
}

TEST(NextKuidVersionTest, CountsVersionsAndRefusesWhatItCannotRead) {
  const std::pair<std::string, std::optional<std::string>> rows[] = {
      {"<kuid:1234:567>", "<kuid2:1234:567:1>"},
      {"<KUID:-1:42>", "<kuid2:-1:42:1>"},
      {"<kuid2:1234:567:4>", "<kuid2:1234:567:5>"},
      {"<KUID2:1234:567:99>", "<kuid2:1234:567:100>"},
      {"<kuid2:1234:567:127>", "<kuid2:1234:567:127>"},
      {"1234", std::nullopt},
      {"<kuid2:1:2:x>", std::nullopt},
      {"<kuid2:1:2:>", std::nullopt}};
  for (const auto& [kuid, next] : rows)
    EXPECT_EQ(NextKuidVersion(kuid), next) << kuid;
}

TEST(UtilityCommandLineTest, WindowsProgramsRunThroughWineInTheirPrefix) {
  testing::TempDir dir;
  const std::string windows("MZ\x90\0", 4);
  const auto prefix = dir / "games prefix";
  fixtures::WriteTextFile(dir / "native/VelmoraUtil.exe", "#!/bin/sh\n");
  fixtures::WriteTextFile(prefix / "drive_c/Velmora/bin/VelmoraUtil.exe", windows);
  fixtures::WriteTextFile(dir / "drive d/VelmoraUtil.exe", windows);
  std::filesystem::create_directories(prefix / "dosdevices");
  std::filesystem::create_directory_symlink("../drive_c", prefix / "dosdevices/c:");
  std::filesystem::create_directory_symlink(prefix / "drive_c/Velmora", dir / "linked");
  const WinePrefix fallback{dir / "own prefix"};

  struct Row {
    std::filesystem::path utility;
    std::optional<std::filesystem::path> prefix;  // none: runs directly
  };
  for (const Row& row : {
           Row{dir / "native/VelmoraUtil.exe", std::nullopt},
           Row{prefix / "drive_c/Velmora/bin/VelmoraUtil.exe", prefix},
           Row{prefix / "dosdevices/c:/Velmora/bin/VelmoraUtil.exe", prefix},
           Row{dir / "linked/bin/VelmoraUtil.exe", prefix},
           Row{dir / "drive d/VelmoraUtil.exe", fallback.folder},
       }) {
    const auto launch = UtilityCommandLine(row.utility, "<kuid:1:2>", "/usr/bin/wine", fallback);
    std::vector<std::string> arguments{row.utility.string(), "edit", "<kuid:1:2>"};
    std::vector<std::string> environment;
    if (row.prefix) {
      arguments.insert(arguments.begin(), "/usr/bin/wine");
      environment.push_back("WINEPREFIX=" + row.prefix->string());
    }
    EXPECT_EQ(launch.arguments, arguments) << row.utility;
    EXPECT_EQ(launch.environment, environment) << row.utility;
  }
}

class ResolveAssetFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bench.state.AssetFolder = world.editing / "loco";
    std::filesystem::create_directories(bench.state.AssetFolder);
  }
  std::filesystem::path Resolve(const std::string& kuid) {
    ResolverContext context = bench.Resolver();
    return ResolveAssetFolder(context, kuid);
  }
  AssetWorld world;
  Workbench bench;
};

TEST_F(ResolveAssetFolderTest, FindsTheAssetOrALaterVersionInEditingWithoutTheUtility) {
  world.InstallUtility();
  WriteConfig(world.editing / "bogey", Part("<kuid2:10:20:2>"));
  EXPECT_EQ(Resolve("<kuid:10:20>"), world.editing / "bogey");
  EXPECT_EQ(bench.state.Memo1.lines,
            (std::vector<std::string>{"Finding Folder for <kuid:10:20>",
                                      "Finding Folder for <kuid2:10:20:1>",
                                      "Finding Folder for <kuid2:10:20:2>"}));
  bench.state.Memo1.Clear();
  EXPECT_EQ(Resolve("<kuid2:10:20:2>"), world.editing / "bogey");
  EXPECT_EQ(bench.state.Memo1.lines,
            std::vector<std::string>{"Finding Folder for <kuid2:10:20:2>"});
  EXPECT_EQ(world.UtilityCalls(), "");
}

TEST_F(ResolveAssetFolderTest, TheUtilityFetchesTheAsset) {
  world.InstallUtility();
  WriteConfig(world.store / "pantograph", Part("<kuid:10:30>"));
  // Taken as soon as the utility has ended and the asset is there: with
  // rounds and a settle time of an hour, waiting them out never ends.
  ResolverContext context = bench.Resolver();
  context.timing = {.round = std::chrono::hours(1), .rounds = 5, .settle = std::chrono::hours(1)};
  EXPECT_EQ(ResolveAssetFolder(context, "<kuid:10:30>"), world.editing / "pantograph");
  EXPECT_EQ(world.UtilityCalls(), "edit <kuid:10:30>\n");
  EXPECT_EQ(bench.state.Memo1.stage, ProgressLog::Stage::kLookup);
  EXPECT_EQ(bench.state.Memo1.lines.back(), "Finding Folder for <kuid:10:30>");
  EXPECT_EQ(bench.state.Memo1.lines[5], "Opening <kuid:10:30>");

  // The utility may open a later version instead.
  WriteConfig(world.store / "panto2", Part("<kuid2:10:31:1>"));
  EXPECT_EQ(Resolve("<kuid:10:31>"), world.editing / "panto2");
  EXPECT_EQ(world.UtilityCalls(), "edit <kuid:10:30>\nedit <kuid:10:31>\nedit <kuid2:10:31:1>\n");
}

TEST_F(ResolveAssetFolderTest, AUtilityStillRunningAfterTheLastRoundCountsAsNotOpened) {
  world.InstallUtility(/*fail=*/false, /*hold=*/true);
  WriteConfig(world.store / "pantograph", Part("<kuid:10:30>"));
  ResolverContext context = bench.Resolver();
  context.timing.rounds = 4;
  int rounds = 0;
  context.hooks.pump = [&] { ++rounds; };
  EXPECT_FALSE(OpenForEditing(context, "<kuid:10:30>"));
  EXPECT_EQ(rounds, 4);
  EXPECT_TRUE(bench.runner.IsRunning()) << "the utility holds until it gets input";
  EXPECT_FALSE(std::filesystem::exists(world.editing / "pantograph"));
}

TEST_F(ResolveAssetFolderTest, AFailingUtilityEndsInTimeButFindsNothing) {
  world.InstallUtility(/*fail=*/true);
  WriteConfig(world.store / "pantograph", Part("<kuid:10:30>"));
  ResolverContext context = bench.Resolver();
  EXPECT_TRUE(OpenForEditing(context, "<kuid:10:30>"));
  EXPECT_TRUE(Resolve("<kuid:10:30>").empty());
  // The kuid itself and its four next versions were all asked for.
  EXPECT_EQ(world.UtilityCalls(),
            "edit <kuid:10:30>\nedit <kuid:10:30>\nedit <kuid2:10:30:1>\n"
            "edit <kuid2:10:30:2>\nedit <kuid2:10:30:3>\nedit <kuid2:10:30:4>\n");
}

TEST_F(ResolveAssetFolderTest, WithoutAUtilityOnlyTheScansRun) {
  WriteConfig(world.store / "pantograph", Part("<kuid:10:30>"));
  EXPECT_TRUE(Resolve("<kuid:10:30>").empty());
  const auto& log = bench.state.Memo1.lines;
  EXPECT_EQ(std::count(log.begin(), log.end(), "Opening <kuid:10:30>"), 1);
  EXPECT_EQ(log.size(), 5u + 5u);  // five scans, five attempts to open
}

TEST_F(ResolveAssetFolderTest, OfTwoFoldersWithOneKuidTheLastAsTheHostListsThemWins) {
  world.InstallUtility();
  // Names compared in upper case: "bogey-a" < "Bogey-B" < "bogey_c".
  WriteConfig(world.editing / "Bogey-B", Part("<kuid:10:20>"));
  WriteConfig(world.editing / "bogey-a", Part("<kuid:10:20>"));
  WriteConfig(world.editing / "bogey-d", Part("<kuid:10:21>"));
  EXPECT_EQ(Resolve("<kuid:10:20>"), world.editing / "Bogey-B");
  WriteConfig(world.editing / "bogey_c", Part("<kuid:10:20>"));
  EXPECT_EQ(Resolve("<kuid:10:20>"), world.editing / "bogey_c");
}

TEST_F(ResolveAssetFolderTest, ExactKuidTextOnlyInsideAnEditingFolder) {
  world.InstallUtility();
  WriteConfig(world.editing / "bogey", Part("<KUID:10:20>"));
  EXPECT_TRUE(Resolve("<kuid:10:20>").empty());
  EXPECT_EQ(Resolve("<KUID:10:20>"), world.editing / "bogey");
  // An unreadable version ends the lookup at once.
  bench.state.Memo1.Clear();
  const std::string calls = world.UtilityCalls();
  EXPECT_TRUE(Resolve("<kuid2:10:20:zz>").empty());
  EXPECT_EQ(world.UtilityCalls(), calls);
  EXPECT_EQ(bench.state.Memo1.lines.size(), 1u);

  testing::TempDir elsewhere;
  WriteConfig(elsewhere / "bogey", Part("<kuid:10:20>"));
  bench.state.AssetFolder = elsewhere.path();
  testing::ScopedWorkingFolder inside(elsewhere.path());
  EXPECT_TRUE(Resolve("<kuid:10:20>").empty());
}

TEST_F(ResolveAssetFolderTest, OnlyKuidsReachTheUtility) {
  world.InstallUtility();
  for (const std::string kuid :
       {"<kuid:9:9> --store /x", "<kuid:9:9", "kuid:9:9", "<kuid:a:9>", "<kuid:9:9:9>",
        "<kuid2:9:9>", "<kuid2:9:9:1000>", "<kuid2:9:9:-1>", "<kuid:12345678901:9>", "<kuid:9:9>\n",
        "<kuid:-1:>", ""}) {
    bench.state.Memo1.Clear();
    ResolverContext context = bench.Resolver();
    EXPECT_TRUE(ResolveAssetFolder(context, kuid).empty()) << kuid;
    EXPECT_FALSE(OpenForEditing(context, kuid)) << kuid;
    const std::string skipped = "Skipped \"" + kuid + "\": not a kuid";
    EXPECT_EQ(bench.state.Memo1.lines,
              (std::vector<std::string>{skipped, "Opening " + kuid, skipped}));
  }
  EXPECT_EQ(world.UtilityCalls(), "");

  for (const std::string kuid : {"<KUID:-1:42>", "<kuid2:523:1234:127>", "<Kuid2:-5:-6:0>"}) {
    ResolverContext context = bench.Resolver();
    EXPECT_TRUE(OpenForEditing(context, kuid)) << kuid;
  }
  EXPECT_EQ(world.UtilityCalls(),
            "edit <KUID:-1:42>\nedit <kuid2:523:1234:127>\nedit <Kuid2:-5:-6:0>\n");
}

TEST(UtilityPathTest, QuotesInTheInstallationsNameRunNothingElse) {
  // Flattened into one line and split again on quotes, this path named the
  // link to the shell as the program.
  AssetWorld world("a\" \"b");
  world.InstallUtility();
  std::filesystem::create_symlink("/bin/sh", world.dir / "a");
  WriteConfig(world.store / "pantograph", Part("<kuid:10:30>"));
  Workbench bench;
  bench.state.AssetFolder = world.editing / "loco";
  std::filesystem::create_directories(bench.state.AssetFolder);
  testing::ScopedWorkingFolder inside(world.dir.path());
  ResolverContext context = bench.Resolver();
  EXPECT_EQ(ResolveAssetFolder(context, "<kuid:10:30>"), world.editing / "pantograph");
  EXPECT_EQ(world.UtilityCalls(), "edit <kuid:10:30>\n");
  EXPECT_EQ(bench.runner.Lines(),
            std::vector<std::string>{"opened <kuid:10:30> in " +
                                     (world.editing / "pantograph").string()});
}

class WineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::WriteTextFile(asset / "config.txt", "kind traincar\n");
    fixtures::WriteTextFile(utility, std::string("MZ\x90\0", 4));
  }
  std::filesystem::path Resolve(const std::string& kuid) {
    return ResolveAssetFolder(context, kuid);
  }

  testing::TempDir dir;
  std::filesystem::path prefix = dir / "velmora prefix";
  std::filesystem::path installation = prefix / "drive_c/Velmora";
  std::filesystem::path utility = installation / "bin/VelmoraUtil.exe";
  std::filesystem::path asset = installation / "userdata/editing/loco";
  std::filesystem::path tools = dir / "tools";
  Workbench bench;
  ResolverContext context = [this] {
    bench.state.AssetFolder = asset;
    ResolverContext c = bench.Resolver();
    c.notifier = &bench.notifier;
    c.wine = WinePrefix{dir / "callers prefix"};
    return c;
  }();
};

TEST_F(WineTest, RunsInThePrefixThatHoldsTheUtility) {
  const auto record = dir / "wine-calls.txt";
  fixtures::WriteTextFile(tools / "wine",
                          "#!/bin/sh\n{ echo \"$WINEPREFIX\"; printf '[%s]' \"$@\"; echo; } >>'" +
                              record.string() + "'\n");
  std::filesystem::permissions(tools / "wine", std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
  testing::ScopedVariable path("PATH", tools.c_str());
  testing::ScopedVariable callers("WINEPREFIX", (dir / "callers prefix").c_str());
  EXPECT_TRUE(OpenForEditing(context, "<kuid:10:30>"));
  EXPECT_EQ(testing::ReadText(record),
            prefix.string() + "\n[" + utility.string() + "][edit][<kuid:10:30>]\n");
  EXPECT_TRUE(bench.notifier.notices.empty());
}

TEST_F(WineTest, WithoutWineOneMessageSaysSo) {
  testing::ScopedVariable path("PATH", tools.c_str());
  EXPECT_TRUE(Resolve("<kuid:10:30>").empty());
  EXPECT_TRUE(Resolve("<kuid:10:31>").empty());
  ASSERT_EQ(bench.notifier.notices.size(), 1u);
  EXPECT_EQ(bench.notifier.notices[0].text,
            "\"" + utility.string() +
                "\" is a Windows program: it needs wine, which is not installed (no \"wine\" on "
                "the PATH).");
}

// A wine stand-in as Debian's wrapper behaves without its 32-bit half: it
// says so and ends with 0. Each call is recorded.
class WineMachineTest : public WineTest {
 protected:
  void InstallWine() {
    fixtures::WriteTextFile(tools / "wine", "#!/bin/sh\necho \"$@\" >>'" + calls.string() +
                                                "'\necho 'it looks like wine32 is missing, you "
                                                "should install it.'\nexit 0\n");
    std::filesystem::permissions(tools / "wine", std::filesystem::perms::owner_exec,
                                 std::filesystem::perm_options::add);
  }
  std::filesystem::path calls = dir / "wine-calls.txt";
};

TEST_F(WineMachineTest, A32BitUtilityWithout32BitWineIsNotStartedAndSaysSoOnce) {
  fixtures::WriteFile(utility, fixtures::WindowsExecutable(0x014C));
  InstallWine();
  testing::ScopedVariable path("PATH", tools.c_str());
  EXPECT_FALSE(OpenForEditing(context, "<kuid:10:30>"));
  EXPECT_TRUE(Resolve("<kuid:10:31>").empty());
  EXPECT_FALSE(std::filesystem::exists(calls)) << testing::ReadText(calls);
  ASSERT_EQ(bench.notifier.notices.size(), 1u);
  EXPECT_NE(bench.notifier.notices[0].text.find("is a 32-bit Windows program"), std::string::npos)
      << bench.notifier.notices[0].text;
  EXPECT_NE(bench.notifier.notices[0].text.find("apt install wine32"), std::string::npos);

  // With a 32-bit loader in the installation's lib folder it runs.
  fixtures::WriteFile(dir / "lib/wine/wine", fixtures::ElfExecutable(32));
  ResolverContext fresh = bench.Resolver();
  EXPECT_TRUE(OpenForEditing(fresh, "<kuid:10:30>"));
  EXPECT_EQ(testing::ReadText(calls), utility.string() + " edit <kuid:10:30>\n");
}

TEST_F(WineMachineTest, AUtilityThatRanWithoutResultShowsWhatItPrintedOnce) {
  fixtures::WriteFile(utility, fixtures::WindowsExecutable(0x8664));
  InstallWine();
  testing::ScopedVariable path("PATH", tools.c_str());
  EXPECT_TRUE(Resolve("<kuid:10:30>").empty());
  EXPECT_TRUE(Resolve("<kuid:10:40>").empty());
  // The kuid and its next four versions were asked for.
  EXPECT_NE(testing::ReadText(calls).find("edit <kuid2:10:30:4>"), std::string::npos);
  ASSERT_EQ(bench.notifier.notices.size(), 1u);
  EXPECT_EQ(bench.notifier.notices[0].text,
            "The simulator's utility ran for <kuid:10:30> but no asset carrying it appeared in "
            "the editing folder. It printed:\n"
            "it looks like wine32 is missing, you should install it.");
}

}  // namespace
}  // namespace kelvane
