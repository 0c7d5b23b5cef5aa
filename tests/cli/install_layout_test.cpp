// Where the program finds its data and keeps its settings, in a build
// folder and in an install prefix.

#include "install_layout.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>

#include "support/temp_dir.h"

namespace kelvane {
namespace {

namespace fs = std::filesystem;

void Touch(const fs::path& file) {
  fs::create_directories(file.parent_path());
  std::ofstream(file) << "x";
}

TEST(InstallLayoutTest, BuildKeepsEverythingBesideTheProgramAnInstallUsesItsPrefix) {
  testing::TempDir dir;
  ASSERT_EQ(setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1), 0);
  const fs::path xdg = dir / "config" / "kelvane" / "kelvane.ini";

  const fs::path build = dir / "build";
  Touch(build / "help" / "kelvane.html");
  Touch(build / "kelvane");
  EXPECT_FALSE(IsInstalled(build));
  EXPECT_EQ(DataFolder(build), build);
  EXPECT_EQ(SettingsPathFor(build / "kelvane"), build / "kelvane.ini");

  // A prefix anywhere: found from the program's own folder.
  const fs::path prefix = dir / "moved" / "prefix";
  Touch(prefix / "share" / "kelvane" / "help" / "kelvane.html");
  Touch(prefix / "bin" / "kelvane");
  EXPECT_TRUE(IsInstalled(prefix / "bin"));
  EXPECT_EQ(DataFolder(prefix / "bin"), prefix / "share" / "kelvane");
  // Its folder is writable here, as /usr/bin is for root: still the user's folder.
  EXPECT_EQ(SettingsPathFor(prefix / "bin" / "kelvane"), xdg);

  // A bare program without its data: no data, settings beside it.
  const fs::path bare = dir / "bare";
  Touch(bare / "kelvane");
  EXPECT_EQ(DataFolder(bare), fs::path());
  EXPECT_EQ(SettingsPathFor(bare / "kelvane"), bare / "kelvane.ini");
  EXPECT_EQ(SettingsPathFor(bare / "kelvane.exe"), bare / "kelvane.ini");
  unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace kelvane
