// What an executable is built for, and whether a Wine installation starts
// 32-bit Windows programs, from fixture headers.

#include "platform/executable_kind.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "fixtures/executable_writer.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using fixtures::ElfExecutable;
using fixtures::WindowsExecutable;

TEST(ExecutableKindTest, MachineFromThePeHeader) {
  testing::TempDir dir;
  struct Row {
    std::string name;
    std::vector<std::byte> bytes;
    WindowsMachine machine;
  };
  std::vector<std::byte> stubOnly = WindowsExecutable(0x014C);
  stubOnly.resize(0x80);  // e_lfanew leads past the end
  std::vector<std::byte> noSignature = WindowsExecutable(0x014C);
  noSignature[0x81] = std::byte{'X'};
  const std::vector<Row> rows = {
      {"x86", WindowsExecutable(0x014C), WindowsMachine::kX86},
      {"x64", WindowsExecutable(0x8664), WindowsMachine::kX64},
      {"arm64", WindowsExecutable(0xAA64), WindowsMachine::kArm64},
      {"ia64", WindowsExecutable(0x0200), WindowsMachine::kOther},
      {"stub", stubOnly, WindowsMachine::kNotPe},
      {"no signature", noSignature, WindowsMachine::kNotPe},
      {"elf", ElfExecutable(32), WindowsMachine::kNotPe},
  };
  for (const Row& r : rows) {
    fixtures::WriteFile(dir / r.name, r.bytes);
    EXPECT_EQ(WindowsMachineOf(dir / r.name), r.machine) << r.name;
  }
  EXPECT_EQ(WindowsMachineOf(dir / "missing"), WindowsMachine::kNotPe);
  fixtures::WriteFile(dir / "elf64", ElfExecutable(64));
  EXPECT_EQ(ElfBits(dir / "missing"), 0);
  EXPECT_EQ(ElfBits(dir / "elf"), 32);
  EXPECT_EQ(ElfBits(dir / "elf64"), 64);
  EXPECT_EQ(ElfBits(dir / "x86"), 0);
}

TEST(ExecutableKindTest, WineRuns32BitWithA32BitLoaderOrLibraries) {
  struct Row {
    std::string layout;
    bool wineIsScript;
    int wineBits;               // of bin/wine when it is no script
    int loaderBits;             // of lib/wine/wine, 0: none
    std::string libraryFolder;  // under lib/, empty: none
    bool runs32;
  };
  const Row rows[] = {
      {"a 32-bit loader on the PATH", false, 32, 0, "", true},
      {"a wrapper with a 32-bit loader beside", true, 0, 32, "", true},
      {"a wrapper with only the 64-bit loader", true, 0, 64, "", false},
      {"a 64-bit loader with 32-bit Windows libraries", false, 64, 0, "wine/i386-windows", true},
      {"a wrapper with the 32-bit multiarch libraries", true, 0, 0, "i386-linux-gnu/wine", true},
      {"a 64-bit loader alone", false, 64, 0, "", false},
  };
  for (const Row& r : rows) {
    testing::TempDir dir;
    const auto wine = dir / "bin" / "wine";
    if (r.wineIsScript) {
      fixtures::WriteTextFile(wine, "#!/bin/sh\nexec \"$0\" \"$@\"\n");
    } else {
      fixtures::WriteFile(wine, ElfExecutable(r.wineBits));
    }
    if (r.loaderBits) fixtures::WriteFile(dir / "lib/wine/wine", ElfExecutable(r.loaderBits));
    if (!r.libraryFolder.empty())
      std::filesystem::create_directories(dir / "lib" / r.libraryFolder);
    EXPECT_EQ(WineRuns32Bit(wine), r.runs32) << r.layout;
    // A link on the PATH counts for the installation it leads to.
    std::filesystem::create_directories(dir / "path");
    std::filesystem::create_symlink(wine, dir / "path" / "wine");
    EXPECT_EQ(WineRuns32Bit(dir / "path" / "wine"), r.runs32) << r.layout << ", through a link";
  }
}

}  // namespace
}  // namespace kelvane
