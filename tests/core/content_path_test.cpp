#include "platform/content_path.h"

#include <gtest/gtest.h>

#include <fstream>

#include "support/temp_dir.h"

namespace kelvane {
namespace {

TEST(ContentPathTest, ExactFirstThenIgnoringCaseComponentByComponent) {
  testing::TempDir dir;
  std::filesystem::create_directories(dir / "Sub Folder" / "Deeper");
  std::ofstream(dir / "Sub Folder" / "Deeper" / "Body.TGA") << "x";
  std::ofstream(dir / "plain.tga") << "x";

  EXPECT_EQ(FindContentFile(dir.path(), "plain.tga"), dir / "plain.tga");
  EXPECT_EQ(FindContentFile(dir.path(), "PLAIN.TGA"), dir / "plain.tga");
  EXPECT_EQ(FindContentFile(dir.path(), "sub folder\\deeper\\body.tga"),
            dir / "Sub Folder" / "Deeper" / "Body.TGA");
  EXPECT_EQ(FindContentFile(dir.path(), "sub folder/DEEPER/body.tga"),
            dir / "Sub Folder" / "Deeper" / "Body.TGA");
  EXPECT_FALSE(FindContentFile(dir.path(), "sub folder"));  // a folder is not a file
  EXPECT_FALSE(FindContentFile(dir.path(), "missing.tga"));
  EXPECT_FALSE(FindContentFile(dir.path(), ""));

  std::ofstream(dir / "PLAIN.TGA") << "y";
  EXPECT_EQ(FindContentFile(dir.path(), "PLAIN.TGA"), dir / "PLAIN.TGA") << "exact wins";
  EXPECT_EQ(FindContentFile(dir.path(), "Plain.tga"), dir / "PLAIN.TGA")
      << "of several spellings the first in name order";
}

TEST(ContentPathTest, AssetFilesAreFilesOfTheFolderItself) {
  testing::TempDir dir, outside;
  std::filesystem::create_directories(dir / "sub");
  std::ofstream(dir / "Body.TGA") << "x";
  std::ofstream(dir / "sub" / "inner.tga") << "x";
  std::ofstream(outside / "secret.tga") << "x";
  std::filesystem::create_symlink(outside / "secret.tga", dir / "link.tga");
  std::filesystem::create_symlink(dir / "Body.TGA", dir / "same.tga");
  EXPECT_EQ(FindAssetFile(dir.path(), "body.tga"), dir / "Body.TGA");
  EXPECT_EQ(FindAssetFile(dir.path(), "same.tga"), dir / "same.tga") << "a link inside stays";
  for (const char* name : {"sub/inner.tga", "sub\\inner.tga", "sub", ".", "..", "", "link.tga"}) {
    EXPECT_FALSE(FindAssetFile(dir.path(), name)) << name;
  }
  EXPECT_FALSE(FindAssetFile(dir.path(), (outside / "secret.tga").string()));
}

TEST(ContentPathTest, ClearReadOnlyGivesTheOwnerWriteBitBack) {
  testing::TempDir dir;
  const auto file = dir / "ro.tga";
  std::ofstream(file) << "x";
  std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  ClearReadOnly(file);
  EXPECT_NE(std::filesystem::status(file).permissions() & std::filesystem::perms::owner_write,
            std::filesystem::perms::none);
  ClearReadOnly(dir / "missing");  // no error
}

}  // namespace
}  // namespace kelvane
