#include "assets/asset_resolver.h"

#include <gtest/gtest.h>

#include "fixtures/asset_writer.h"
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

TEST(FindUtilityTest, MatchesFolderWordsInAnyCaseAndKeepsThePathsCase) {
  testing::TempDir dir;
  const auto asset = dir / "Sim/UserData/Editing/Loco";
  std::filesystem::create_directories(asset);
  fixtures::WriteTextFile(dir / "Sim/BIN/velmorautil.EXE", "x");
  EXPECT_EQ(FindUtility(asset), dir / "Sim/BIN/velmorautil.EXE");
  EXPECT_EQ(EditingFolder(asset).generic_string(),
            (dir / "Sim/UserData/Editing/").generic_string());
}

TEST(FindUtilityTest, NothingOutsideEditingAndUserdata) {
  testing::TempDir dir;
  fixtures::WriteTextFile(dir / "bin/VelmoraUtil.exe", "x");
  std::filesystem::create_directories(dir / "assets/loco");
  EXPECT_TRUE(FindUtility(dir / "assets/loco").empty());
  EXPECT_TRUE(EditingFolder(dir / "assets/loco").empty());
}

TEST(NextKuidVersionTest, CountsVersions) {
  EXPECT_EQ(NextKuidVersion("<kuid:1234:567>"), "<kuid2:1234:567:1>");
  EXPECT_EQ(NextKuidVersion("<KUID:-1:42>"), "<kuid2:-1:42:1>");
  EXPECT_EQ(NextKuidVersion("<kuid2:1234:567:4>"), "<kuid2:1234:567:5>");
  EXPECT_EQ(NextKuidVersion("<KUID2:1234:567:99>"), "<kuid2:1234:567:100>");
  EXPECT_EQ(NextKuidVersion("<kuid2:1234:567:127>"), "<kuid2:1234:567:127>");
}

TEST(NextKuidVersionTest, RefusesWhatItCannotRead) {
  EXPECT_FALSE(NextKuidVersion("1234"));
  EXPECT_FALSE(NextKuidVersion("<kuid2:1:2:x>"));
  EXPECT_FALSE(NextKuidVersion("<kuid2:1:2:>"));
}

TEST(UtilityCommandLineTest, RunsWindowsProgramsThroughWine) {
  testing::TempDir dir;
  fixtures::WriteTextFile(dir / "native.exe", "#!/bin/sh\n");
  fixtures::WriteTextFile(dir / "windows.exe", std::string("MZ\x90\0", 4));
  EXPECT_EQ(UtilityCommandLine(dir / "native.exe", "<kuid:1:2>"),
            "\"" + (dir / "native.exe").string() + "\" edit <kuid:1:2>");
  EXPECT_EQ(UtilityCommandLine(dir / "windows.exe", "<kuid:1:2>"),
            "wine \"" + (dir / "windows.exe").string() + "\" edit <kuid:1:2>");
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

TEST_F(ResolveAssetFolderTest, FindsAnAssetInEditingWithoutTheUtility) {
  world.InstallUtility();
  WriteConfig(world.editing / "bogey", Part("<kuid:10:20>"));
  EXPECT_EQ(Resolve("<kuid:10:20>"), world.editing / "bogey");
  EXPECT_EQ(world.UtilityCalls(), "");
  EXPECT_EQ(bench.state.Memo1.lines, std::vector<std::string>{"Finding Folder for <kuid:10:20>"});
}

TEST_F(ResolveAssetFolderTest, FindsALaterVersion) {
  world.InstallUtility();
  WriteConfig(world.editing / "bogey", Part("<kuid2:10:20:2>"));
  EXPECT_EQ(Resolve("<kuid:10:20>"), world.editing / "bogey");
  EXPECT_EQ(world.UtilityCalls(), "");
  EXPECT_EQ(bench.state.Memo1.lines,
            (std::vector<std::string>{"Finding Folder for <kuid:10:20>",
                                      "Finding Folder for <kuid2:10:20:1>",
                                      "Finding Folder for <kuid2:10:20:2>"}));
}

TEST_F(ResolveAssetFolderTest, TheUtilityFetchesTheAsset) {
  world.InstallUtility();
  WriteConfig(world.store / "pantograph", Part("<kuid:10:30>"));
  // Taken as soon as the utility has ended and the asset is there, not
  // after a whole polling round and the settle time.
  ResolverContext context = bench.Resolver();
  context.timing.round = std::chrono::seconds(2);
  context.timing.rounds = 5;
  context.timing.settle = std::chrono::seconds(5);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ResolveAssetFolder(context, "<kuid:10:30>"), world.editing / "pantograph");
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
  EXPECT_EQ(world.UtilityCalls(), "edit <kuid:10:30>\n");
  EXPECT_TRUE(bench.state.Memo1.visible);
  EXPECT_EQ(bench.state.Memo1.lines.back(), "Finding Folder for <kuid:10:30>");
  EXPECT_EQ(bench.state.Memo1.lines[5], "Opening <kuid:10:30>");
}

TEST_F(ResolveAssetFolderTest, TheUtilityOpensALaterVersion) {
  world.InstallUtility();
  WriteConfig(world.store / "pantograph", Part("<kuid2:10:30:1>"));
  EXPECT_EQ(Resolve("<kuid:10:30>"), world.editing / "pantograph");
  EXPECT_EQ(world.UtilityCalls(), "edit <kuid:10:30>\nedit <kuid2:10:30:1>\n");
}

TEST_F(ResolveAssetFolderTest, AUtilityTooSlowCountsAsNotOpened) {
  world.InstallUtility(/*delayMs=*/3000);
  WriteConfig(world.store / "pantograph", Part("<kuid:10:30>"));
  ResolverContext context = bench.Resolver();
  context.timing.rounds = 4;  // 20 ms
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(OpenForEditing(context, "<kuid:10:30>"));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1000));
  EXPECT_FALSE(std::filesystem::exists(world.editing / "pantograph"));
}

TEST_F(ResolveAssetFolderTest, AFailingUtilityEndsInTimeButFindsNothing) {
  world.InstallUtility(0, /*fail=*/true);
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

TEST_F(ResolveAssetFolderTest, OfTwoFoldersWithOneKuidTheLastInNameOrderWins) {
  world.InstallUtility();
  WriteConfig(world.editing / "bogey-a", Part("<kuid:10:20>"));
  WriteConfig(world.editing / "bogey-b", Part("<kuid:10:20>"));
  WriteConfig(world.editing / "bogey-c", Part("<kuid:10:21>"));
  EXPECT_EQ(Resolve("<kuid:10:20>"), world.editing / "bogey-b");
}

TEST_F(ResolveAssetFolderTest, KuidsCompareAsExactText) {
  world.InstallUtility();
  WriteConfig(world.editing / "bogey", Part("<KUID:10:20>"));
  EXPECT_TRUE(Resolve("<kuid:10:20>").empty());
  EXPECT_EQ(Resolve("<KUID:10:20>"), world.editing / "bogey");
}

TEST_F(ResolveAssetFolderTest, AnUnreadableVersionEndsTheLookup) {
  world.InstallUtility();
  EXPECT_TRUE(Resolve("<kuid2:10:20:zz>").empty());
  EXPECT_EQ(world.UtilityCalls(), "");
  EXPECT_EQ(bench.state.Memo1.lines.size(), 1u);
}

TEST_F(ResolveAssetFolderTest, NoScanOutsideAnEditingFolder) {
  testing::TempDir elsewhere;
  WriteConfig(elsewhere / "bogey", Part("<kuid:10:20>"));
  bench.state.AssetFolder = elsewhere.path();
  const auto keep = std::filesystem::current_path();
  std::filesystem::current_path(elsewhere.path());
  const auto found = Resolve("<kuid:10:20>");
  std::filesystem::current_path(keep);
  EXPECT_TRUE(found.empty());
}

}  // namespace
}  // namespace kelvane
