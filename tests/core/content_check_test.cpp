#include "check/content_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "fixtures/content_tree.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;
using fixtures::InjectedFault;

std::vector<InjectedFault> Found(const CheckReport& report, const fs::path& root) {
  std::vector<InjectedFault> found;
  for (const CheckProblem& p : report.problems)
    found.push_back({fs::path(p.file).lexically_relative(root).generic_string(), p.kind, p.offset});
  std::sort(found.begin(), found.end());
  return found;
}

CheckReport Check(const fs::path& root, unsigned jobs) {
  CheckOptions options;
  options.paths = {root};
  options.jobs = jobs;
  return CheckContent(options);
}

TEST(ContentCheckTest, EveryInjectedFaultIsFoundOnceWithItsKindAndOffset) {
  testing::TempDir dir;
  const auto tree =
      fixtures::WriteContentTree(dir.path(), {.meshes = 6, .textures = 5, .faults = true});
  fs::create_directory_symlink("..", dir / "faults/car/loop");
  auto expected = tree.faults;
  expected.push_back({"faults/car/loop", "symlink-loop", {}});
  std::sort(expected.begin(), expected.end());

  const CheckReport one = Check(dir.path(), 1);
  EXPECT_EQ(Found(one, dir.path()), expected);
  const CheckReport two = Check(dir.path(), 2);
  EXPECT_EQ(two.problems, one.problems) << "the job count changes nothing";
  EXPECT_EQ(one.filesChecked, 6u + 2 + 9 + 4)
      << "meshes, the car and bogey, faulty meshes, configs";
  EXPECT_GT(one.bytesRead, 0u);

  for (const CheckProblem& p : one.problems) {
    EXPECT_FALSE(p.message.empty()) << p.file;
    EXPECT_FALSE(p.asset.empty()) << p.file;
  }
}

TEST(ContentCheckTest, TheAssetThatLeadsToAProblemIsNamed) {
  testing::TempDir dir;
  fixtures::WriteContentTree(dir.path(), {.meshes = 0, .textures = 0, .faults = true});
  const CheckReport report = Check(dir / "faults", 2);
  std::map<std::string, std::string> assetOf;
  for (const CheckProblem& p : report.problems)
    assetOf[fs::path(p.file).filename().string() + " " + p.kind] =
        fs::path(p.asset).lexically_relative(dir.path()).generic_string();
  EXPECT_EQ(assetOf["absent.tga texture-missing"], "faults/absent.im");
  EXPECT_EQ(assetOf["glass.bmp alpha-size"], "faults/alpha.im");
  EXPECT_EQ(assetOf["lamp.im mesh-missing"], "faults/car/config.txt");
  EXPECT_EQ(assetOf["body.im attachment-missing"], "faults/car/config.txt");
}

TEST(ContentCheckTest, NamesAreMatchedWithoutRegardToCaseAndFilesAreTakenAsGiven) {
  testing::TempDir dir;
  fixtures::WriteContentTree(dir.path(), {.meshes = 0, .textures = 0, .faults = true});
  const ContentListing listing = ListContent({dir / "faults/notes.IM", dir / "faults/car"});
  ASSERT_EQ(listing.meshes.size(), 3u);
  EXPECT_EQ(listing.meshes[2], dir / "faults/notes.IM");
  EXPECT_EQ(listing.configs, std::vector<fs::path>{dir / "faults/car/config.txt"});
  const ContentListing missing = ListContent({dir / "nothing here"});
  ASSERT_EQ(missing.problems.size(), 1u);
  EXPECT_EQ(missing.problems[0].kind, "path-missing");
}

}  // namespace
}  // namespace kelvane
