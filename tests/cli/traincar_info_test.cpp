// Runs the real executable on traincars, as a user or a script would.

#include <gtest/gtest.h>

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
            "\"a.horn\",-6.000,0.000,3.700,0.0,0.0,0.0");

  ASSERT_EQ(info["parts"].size(), 5u);
  EXPECT_EQ(info["parts"][0]["kuid"], "<kuid:414243:1001>");
  EXPECT_EQ(info["parts"][1]["position"], Json::parse("[-5.0, 0.0, 0.5]"));
  EXPECT_EQ(info["parts"][3]["sub_attachment_line"], "\"a.arm\",0.000,0.000,0.200,0.0,0.0,0.0");
  EXPECT_EQ(info["parts"][4]["position"], Json::parse("[7.7, 0.0, 2.0]"));

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

}  // namespace
}  // namespace kelvane
