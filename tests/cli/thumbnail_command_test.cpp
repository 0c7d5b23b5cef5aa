// Thumbnails shrink a picture by averaging to fit the asked size, are
// written into the caller's file in place, and show a mesh whose textures
// are out of reach as a lit grey shape.

#include "thumbnail_command.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "fixtures/sample_assets.h"
#include "support/image_compare.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

PixelBuffer Grey(int w, int h, const std::vector<int>& values) {
  PixelBuffer b =
      PixelBuffer::Zeroed(static_cast<std::uint16_t>(w), static_cast<std::uint16_t>(h), 3);
  for (std::size_t i = 0; i < values.size(); ++i)
    for (std::size_t c = 0; c < 3; ++c)
      b.pixels[i * 3 + c] = static_cast<std::uint8_t>(values[i]);
  return b;
}

std::vector<int> Reds(const PixelBuffer& b) {
  std::vector<int> v;
  for (std::size_t i = 0; i < b.TexelCount(); ++i)
    v.push_back(b.pixels[i * b.bytesPerTexel]);
  return v;
}

TEST(ThumbnailCommandTest, FitWithinAveragesDownToTheLongerSide) {
  struct Row {
    int w, h, size;
    std::vector<int> in;
    int outW, outH;
    std::vector<int> out;
  };
  const Row rows[] = {
      // 4 x 2 to 2 x 1: each output texel is the mean of a 2 x 2 block.
      {4, 2, 2, {0, 100, 10, 30, 200, 100, 50, 70}, 2, 1, {100, 40}},
      // Tall pictures fit by their height.
      {1, 4, 2, {0, 10, 20, 40}, 1, 2, {5, 30}},
      // A picture already small enough stays as it is.
      {2, 1, 8, {7, 9}, 2, 1, {7, 9}},
      // A thin strip keeps at least one texel across.
      {8, 1, 2, {0, 0, 0, 0, 80, 80, 80, 80}, 2, 1, {0, 80}},
  };
  for (const Row& r : rows) {
    const PixelBuffer out = FitWithin(Grey(r.w, r.h, r.in), r.size);
    EXPECT_EQ(out.width, r.outW);
    EXPECT_EQ(out.height, r.outH);
    EXPECT_EQ(Reds(out), r.out) << r.w << "x" << r.h << " to " << r.size;
  }
}

class ThumbnailRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fixtures::WriteSampleAssets(dir.path());
    // As a sandbox shows it: the mesh alone, none of its textures.
    std::filesystem::create_directories(dir / "lone");
    std::filesystem::copy_file(dir / "wagon" / "wagon.im", dir / "lone" / "wagon.im");
  }
  // Runs kelvane as a file manager would.
  testing::ProcessResult Run(const std::vector<std::string>& args) {
    return testing::RunProgram(KELVANE_EXE, args, dir);
  }
  static bool NoGl(const testing::ProcessResult& run) {
    return run.status == 1 && run.err.find("no GL context") != std::string::npos;
  }
  testing::TempDir dir;
};

// The middle of the wagon's body side, in a 128 x 96 thumbnail.
constexpr std::array<std::array<int, 2>, 3> kBodyPoints{{{40, 64}, {88, 64}, {50, 60}}};

TEST_F(ThumbnailRunTest, MeshWithoutItsTexturesIsALitGreyShape) {
  const auto out = dir / "lone.png";
  const auto run = Run({"--thumbnail", (dir / "lone" / "wagon.im").string(), out.string(), "128"});
  if (NoGl(run)) GTEST_SKIP() << "no headless GL context on this machine";
  ASSERT_EQ(run.status, 0) << run.err;
  const auto png = testing::ReadPng(out);
  ASSERT_TRUE(png);
  ASSERT_EQ(png->width, 128);
  ASSERT_EQ(png->height, 96);
  for (const auto& [x, y] : kBodyPoints) {
    const auto c = png->At(x, y);
    EXPECT_GT(c[0], 60) << "at " << x << "," << y;
    EXPECT_NEAR(c[0], c[1], 4) << "grey at " << x << "," << y;
    EXPECT_NEAR(c[1], c[2], 4) << "grey at " << x << "," << y;
  }
  // The viewer's own drawing of the same mesh is left as it is: dark there.
  const auto render = Run({"--render", (dir / "lone" / "wagon.im").string(), "-o",
                           (dir / "render.png").string(), "--size", "128x96"});
  ASSERT_EQ(render.status, 0) << render.err;
  const auto drawn = testing::ReadPng(dir / "render.png");
  ASSERT_TRUE(drawn);
  EXPECT_LT(drawn->At(40, 64)[0], 40);
}

TEST_F(ThumbnailRunTest, WritesIntoTheFileTheCallerHoldsOpen) {
  struct Row {
    std::string input;
    bool drawn;  // needs GL
  };
  const Row rows[] = {{"wagon/wagon.im", true}, {"wagon/roof.texture", false}};
  for (const Row& r : rows) {
    const auto out = dir / "held.png";
    std::filesystem::remove(out);
    const int held = ::open(out.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(held, 0);
    struct stat before {};
    ASSERT_EQ(::fstat(held, &before), 0);
    const auto run = Run({"--thumbnail", (dir / r.input).string(), out.string(), "64"});
    if (r.drawn && NoGl(run)) {
      ::close(held);
      continue;
    }
    EXPECT_EQ(run.status, 0) << r.input << ": " << run.err;
    // Read through the handle held since before the run.
    std::array<unsigned char, 8> head{};
    const ssize_t got = ::pread(held, head.data(), head.size(), 0);
    struct stat after {};
    ::stat(out.c_str(), &after);
    ::close(held);
    EXPECT_EQ(got, 8) << r.input;
    EXPECT_EQ(head, (std::array<unsigned char, 8>{0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}))
        << r.input;
    EXPECT_EQ(after.st_ino, before.st_ino) << r.input << " was replaced, not written in place";
  }
}

TEST_F(ThumbnailRunTest, FailureLeavesTheOutputAsItWas) {
  const auto damaged = dir / "damaged.im";
  {
    const std::string whole = testing::ReadText(dir / "wagon" / "wagon.im");
    std::ofstream(damaged, std::ios::binary) << whole.substr(0, 200);
  }
  const auto out = dir / "kept.png";
  std::ofstream(out) << "the caller's bytes";
  const auto run = Run({"--thumbnail", damaged.string(), out.string(), "64"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(testing::ReadText(out), "the caller's bytes");
}

}  // namespace
}  // namespace kelvane
