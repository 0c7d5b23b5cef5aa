// Runs the real executable on traincars, as a user or a script would.

#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "fixtures/asset_writer.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using Json = nlohmann::json;

// Standard output of `kelvane --info PATH`, and its exit status.
std::pair<int, std::string> Info(const std::filesystem::path& path, const testing::TempDir& dir) {
  const auto run = testing::RunProgram(KELVANE_EXE, {"--info", path.string()}, dir);
  return {run.status, run.out};
}

TEST(TraincarInfoTest, DescribesTheSampleLocomotive) {
  testing::TempDir dir;
  const auto sample = fixtures::WriteSampleTraincar(dir.path(), KELVANE_STANDIN);
  const auto [status, out] = Info(sample.locomotive, dir);
  ASSERT_EQ(status, 0) << out;
  const Json info = Json::parse(out);
  EXPECT_TRUE(info["loaded"]);
  EXPECT_TRUE(info["traincar"]);
  EXPECT_TRUE(info["messages"].empty());
  EXPECT_EQ(info["username"], "\"Class 7 electric\"");
  EXPECT_EQ(info["log"][0], "Finding Folder for <kuid:414243:1001>");

  ASSERT_EQ(info["mesh_entries"].size(), 2u);
  EXPECT_EQ(info["mesh_entries"][1]["name"], "horn");
  EXPECT_EQ(info["mesh_entries"][1]["attachment_line"],
            "\"a.horn\",0.000,-6.000,3.700,0.0,0.0,0.0");

  ASSERT_EQ(info["parts"].size(), 5u);
  EXPECT_EQ(info["parts"][0]["kuid"], "<kuid:414243:1001>");
  EXPECT_EQ(info["parts"][1]["position"], Json::parse("[0.0, -5.0, 0.5]"));
  EXPECT_EQ(info["parts"][3]["sub_attachment_line"], "\"a.arm\",0.000,0.000,0.200,0.0,0.0,0.0");
  EXPECT_EQ(info["parts"][4]["position"], Json::parse("[0.0, 7.7, 2.0]"));

  ASSERT_EQ(info["models"].size(), 7u);
  const std::vector<std::string> placements{"mesh", "mesh", "part", "part", "part", "part", "part"};
  for (std::size_t j = 0; j < placements.size(); ++j) {
    EXPECT_EQ(info["models"][j]["placement"], placements[j]) << j;
    EXPECT_GT(info["models"][j]["face_count"], 0) << j;
  }
  EXPECT_EQ(info["models"][0]["face_count"], 6 * 12);
  EXPECT_EQ(info["models"][6]["file"], (sample.editing / "headlight" / "lamp.im").string());

  // The car's budget is the sum of its models' budgets.
  std::int64_t triangles = 0, objects = 0;
  std::uint64_t bytes = 0;
  for (const Json& model : info["models"]) {
    EXPECT_EQ(model["budget"]["triangles"], model["face_count"]);
    triangles += model["budget"]["triangles"].get<std::int64_t>();
    objects += model["budget"]["objects"].get<std::int64_t>();
    bytes += model["budget"]["texture_bytes"].get<std::uint64_t>();
  }
  EXPECT_EQ(info["budget"]["triangles"], triangles);
  EXPECT_EQ(info["budget"]["objects"], objects);
  EXPECT_EQ(info["budget"]["texture_bytes"], bytes);
  EXPECT_GT(info["models"][0]["budget"]["texture_bytes"], 0u) << "the body's textures";
}

TEST(TraincarInfoTest, TakesAConfigFileInAnyCaseAndReportsMessages) {
  testing::TempDir dir;
  const auto folder = dir / "Velmora/userdata/editing/wagon";
  fixtures::WriteTextFile(folder / "Config.TXT", fixtures::ConfigText({.kind = "scenery"}));
  fixtures::WriteTextFile(dir / "Velmora/bin/VelmoraUtil.exe", "#!/bin/sh\n");
  const auto [status, out] = Info(folder / "Config.TXT", dir);
  EXPECT_EQ(status, 1);
  const Json info = Json::parse(out);
  EXPECT_FALSE(info["loaded"]);
  EXPECT_FALSE(info["traincar"]);
  ASSERT_EQ(info["messages"].size(), 1u);
  EXPECT_EQ(info["messages"][0]["text"], "Asset is not \"kind traincar\".\r     Cannot proceed.");
  EXPECT_TRUE(info["models"].empty());
}

// Runs the executable inside `folder`, as a user does in a shell there.
testing::ProcessResult RunIn(const std::filesystem::path& folder,
                             const std::vector<std::string>& args, const testing::TempDir& dir) {
  std::vector<std::string> all{"-c", "cd \"$0\" && exec \"$@\"", folder.string(), KELVANE_EXE};
  all.insert(all.end(), args.begin(), args.end());
  return testing::RunProgram("/bin/sh", all, dir);
}

// A bare "config.txt" given inside the asset's folder is that folder's
// traincar, composed as when the folder is named.
TEST(TraincarInfoTest, ABareConfigFileComposesLikeItsFolder) {
  testing::TempDir dir;
  // Two installations, so that each run fetches the pantograph through
  // the simulator's utility.
  const auto sample = fixtures::WriteSampleTraincar(dir / "bare", KELVANE_STANDIN);
  const auto other = fixtures::WriteSampleTraincar(dir / "named", KELVANE_STANDIN);

  const auto bareInfo = RunIn(sample.locomotive, {"--info", "config.txt"}, dir);
  const auto folderInfo = Info(other.locomotive, dir);
  ASSERT_EQ(bareInfo.status, 0) << bareInfo.out << bareInfo.err;
  const Json bare = Json::parse(bareInfo.out), named = Json::parse(folderInfo.second);
  for (const char* key : {"loaded", "messages", "username", "log"})
    EXPECT_EQ(bare[key], named[key]) << key;
  EXPECT_EQ(bare["models"].size(), named["models"].size());
  EXPECT_TRUE(std::count(bare["log"].begin(), bare["log"].end(),
                         Json("Opening " + std::string(fixtures::kSamplePantographKuid))) == 1)
      << "the utility found from the working folder";
  EXPECT_EQ(bare["parts"].size(), named["parts"].size());

  const auto check = [&](const std::vector<std::string>& args) {
    const auto run = RunIn(sample.locomotive, args, dir);
    EXPECT_NE(run.status, 2) << run.err;
    return std::pair(run.status, Json::parse(run.out)["problems"].size());
  };
  EXPECT_EQ(check({"--check", "config.txt", "--json"}),
            check({"--check", (other.locomotive / "config.txt").string(), "--json"}));

  const auto render = [&](const std::string& path, const std::string& out) {
    return RunIn(sample.locomotive, {"--render", path, "--size", "160x120", "-o", out}, dir);
  };
  const auto bareRender = render("config.txt", (dir / "bare.png").string());
  if (bareRender.status == 1 && bareRender.err.find("no GL context") != std::string::npos)
    GTEST_SKIP() << "no headless GL on this machine";
  ASSERT_EQ(bareRender.status, 0) << bareRender.err;
  ASSERT_EQ(render(other.locomotive.string(), (dir / "folder.png").string()).status, 0);
  EXPECT_EQ(testing::ReadText(dir / "bare.png"), testing::ReadText(dir / "folder.png"));
}

}  // namespace
}  // namespace kelvane
