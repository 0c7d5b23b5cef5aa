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
  };
  for (const Case& c : cases) {
    const ProcessResult run = Kelvane(c.args);
    EXPECT_EQ(run.status, c.status) << ::testing::PrintToString(c.args) << "\n" << run.err;
  }
}

}  // namespace
}  // namespace kelvane
