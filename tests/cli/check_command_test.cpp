// The check mode of the real executable: exit codes, the two outputs and
// their agreement.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "fixtures/content_tree.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using Json = nlohmann::json;
using testing::ProcessResult;

class CheckCommandTest : public ::testing::Test {
 protected:
  ProcessResult Kelvane(std::vector<std::string> args) {
    return testing::RunProgram(KELVANE_EXE, args, dir);
  }
  std::string Tree() const { return (dir / "tree").string(); }

  testing::TempDir dir;
};

// Everything but the summary, which tells the time taken.
std::string WithoutSummary(const std::string& out) {
  const auto last = out.rfind("\nchecked ");
  return last == std::string::npos ? out : out.substr(0, last + 1);
}

TEST_F(CheckCommandTest, ProblemsAreListedByAssetTheSameForAnyJobCount) {
  const auto tree =
      fixtures::WriteContentTree(Tree(), {.meshes = 4, .textures = 4, .faults = true});
  const ProcessResult one = Kelvane({"--check", Tree(), "--jobs", "1"});
  const ProcessResult two = Kelvane({"--check", Tree(), "--jobs", "2"});
  EXPECT_EQ(one.status, 1) << one.err;
  EXPECT_EQ(two.status, 1);
  EXPECT_EQ(WithoutSummary(one.out), WithoutSummary(two.out));
  EXPECT_THAT(one.out,
              ::testing::HasSubstr("faults/damaged.im: mesh-damaged at byte 117: The mesh"));
  EXPECT_THAT(one.out,
              ::testing::ContainsRegex("\nchecked 19 files: " + std::to_string(tree.faults.size()) +
                                       " problems in [0-9.]+ s"));
  // A problem line is indented under the line of its asset.
  EXPECT_THAT(one.out, ::testing::HasSubstr("/faults/alpha.im\n  " + Tree() +
                                            "/faults/glass.bmp: alpha-size: glass.bmp Texture"));
  EXPECT_TRUE(one.err.empty()) << "no progress line when standard error is no terminal";
}

TEST_F(CheckCommandTest, JsonCarriesTheSameProblems) {
  const auto tree =
      fixtures::WriteContentTree(Tree(), {.meshes = 2, .textures = 2, .faults = true});
  const ProcessResult run = Kelvane({"--check", Tree(), "--json"});
  ASSERT_EQ(run.status, 1) << run.err;
  const Json doc = Json::parse(run.out);
  EXPECT_GT(doc["files_checked"], 0);
  EXPECT_EQ(doc["problem_count"], tree.faults.size());
  std::multiset<std::string> kinds, injected;
  for (const Json& p : doc["problems"]) {
    kinds.insert(p["kind"].get<std::string>());
    EXPECT_FALSE(p["asset"].get<std::string>().empty()) << p;
  }
  for (const auto& fault : tree.faults)
    injected.insert(fault.kind);
  EXPECT_EQ(kinds, injected);
}

TEST_F(CheckCommandTest, ExitStatus) {
  fixtures::WriteContentTree(Tree(), {.meshes = 3, .textures = 3});
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"--check", Tree()}, 0},
      {{"--check", Tree(), "--jobs", "3", "--json"}, 0},
      {{"--check", Tree() + "/no such folder"}, 2},
      {{"--check"}, 2},
      {{"--check", Tree(), "--jobs", "0"}, 2},
      {{"--json", Tree()}, 2},
      {{"--check", Tree(), "--info", Tree()}, 2},
      {{"--check", Tree(), "--max-triangles", "0"}, 2},
      {{"--check", Tree(), "--max-texture-mb", "-1"}, 2},
      {{"--info", Tree(), "--max-triangles", "5"}, 2},
      {{"--check", Tree(), "--max-triangles", "100000000", "--max-texture-mb", "1000"}, 0},
  };
  for (const Case& c : cases) {
    const ProcessResult run = Kelvane(c.args);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args) << "\n" << run.err;
  }
}

TEST_F(CheckCommandTest, AssetsOverABudgetAreReportedWithTheirFigures) {
  fixtures::WriteContentTree(Tree(), {.meshes = 3, .textures = 3, .textureSide = 64});
  // What --info says each mesh costs, by its file.
  auto budgetOf = [&](const std::string& file) {
    const ProcessResult info = Kelvane({"--info", file});
    EXPECT_EQ(info.status, 0) << file;
    return Json::parse(info.out)["budget"];
  };
  const ProcessResult run =
      Kelvane({"--check", Tree(), "--json", "--max-triangles", "1", "--max-texture-mb", "0.001"});
  ASSERT_EQ(run.status, 1) << run.err;
  const Json doc = Json::parse(run.out);
  int meshes = 0, cars = 0;
  for (const Json& p : doc["problems"]) {
    ASSERT_EQ(p["kind"], "over-budget") << p;
    const std::string file = p["file"], message = p["message"];
    if (file.ends_with("config.txt")) {
      ++cars;
      EXPECT_THAT(message, ::testing::MatchesRegex("[0-9]+ triangles over the limit of 1.*"));
      continue;
    }
    ++meshes;
    const Json budget = budgetOf(file);
    EXPECT_THAT(message, ::testing::StartsWith(std::to_string(budget["triangles"].get<int>()) +
                                               " triangles over the limit of 1"));
    if (budget["texture_bytes"].get<std::uint64_t>() > 1049) {
      EXPECT_THAT(message, ::testing::HasSubstr(
                               "(" + std::to_string(budget["texture_bytes"].get<std::uint64_t>()) +
                               " bytes) over the limit of 0.00 MB"));
    }
  }
  EXPECT_GE(meshes, 3);
  EXPECT_EQ(cars, 1) << "the tree's traincar, in total";
  // Within generous limits nothing is over.
  EXPECT_EQ(Kelvane({"--check", Tree(), "--max-triangles", "1000000"}).status, 0);
}

}  // namespace
}  // namespace kelvane
