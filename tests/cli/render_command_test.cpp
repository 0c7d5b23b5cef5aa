// kelvane --render end to end: exit codes, messages and pictures of the
// sample wagon and locomotive.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fixtures/asset_writer.h"
#include "fixtures/byte_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "support/image_compare.h"
#include "support/run_program.h"
#include "support/temp_dir.h"

namespace kelvane {
namespace {

using ProcessRun = testing::ProcessResult;

ProcessRun Kelvane(const std::vector<std::string>& args, const testing::TempDir& dir) {
  return testing::RunProgram(KELVANE_EXE, args, dir);
}

using testing::ReadPng;
using Png = testing::RgbImage;

class RenderCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { fixtures::WriteSampleAssets(dir.path()); }
  std::string Wagon() const { return (dir / "wagon" / "wagon.im").string(); }
  std::string Out(const std::string& name) const { return (dir / name).string(); }
  // Renders or skips when this machine has no headless GL.
  std::optional<Png> Render(std::vector<std::string> args) {
    args.insert(args.begin(), {"--render"});
    const ProcessRun run = Kelvane(args, dir);
    if (run.status == 1 && run.err.find("no GL context") != std::string::npos) return std::nullopt;
    EXPECT_EQ(run.status, 0) << run.err;
    return ReadPng(Out("out.png"));
  }

  testing::TempDir dir;
};

#define RENDER_OR_SKIP(var, ...)        \
  const auto var = Render(__VA_ARGS__); \
  if (!var) GTEST_SKIP() << "no headless GL context on this machine"

TEST_F(RenderCommandTest, SampleWagonAtTheDefaultSizeOnTheDefaultBackground) {
  RENDER_OR_SKIP(png, {Wagon(), "-o", Out("out.png")});
  EXPECT_EQ(png->width, 240);
  EXPECT_EQ(png->height, 180);
  EXPECT_EQ(png->At(2, 2), (std::vector<int>{39, 116, 152}));
  // The wagon fills the middle of the picture.
  int covered = 0;
  for (int x = 60; x < 180; ++x)
    covered += png->At(x, 120) != std::vector<int>{39, 116, 152};
  EXPECT_GT(covered, 80);
}

TEST_F(RenderCommandTest, OptionsChangeSizeBackgroundAndAxes) {
  RENDER_OR_SKIP(grey, {Wagon(), "-o", Out("out.png"), "--size", "100x50", "--background", "0"});
  EXPECT_EQ(grey->width, 100);
  EXPECT_EQ(grey->height, 50);
  EXPECT_EQ(grey->At(1, 1), (std::vector<int>{128, 128, 140}));

  // The x axis is the picture's only yellow.
  auto yellow = [](const Png& p) {
    int n = 0;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        const auto c = p.At(x, y);
        n += c[0] > 180 && c[1] > 180 && c[2] < 40;
      }
    }
    return n;
  };
  RENDER_OR_SKIP(axes, {Wagon(), "-o", Out("out.png"), "--background", "0xFF0000"});
  EXPECT_EQ(axes->At(1, 1), (std::vector<int>{0, 0, 255}));
  EXPECT_GT(yellow(*axes), 20);
  RENDER_OR_SKIP(bare, {Wagon(), "-o", Out("out.png"), "--background", "0xFF0000", "--no-axes"});
  EXPECT_EQ(yellow(*bare), 0);

  // The viewer's settings file decides what no option does.
  std::ofstream(Out("k.ini")) << "[Options]\nBGroundColour=65280\nShowAxes=0\n";
  RENDER_OR_SKIP(set, {Wagon(), "-o", Out("out.png"), "--settings", Out("k.ini")});
  EXPECT_EQ(set->At(1, 1), (std::vector<int>{0, 255, 0}));
  EXPECT_EQ(yellow(*set), 0);
}

TEST_F(RenderCommandTest, WireframeIsGrey) {
  RENDER_OR_SKIP(png, {Wagon(), "-o", Out("out.png"), "--wireframe", "--background", "0xFFFFFF"});
  int grey = 0, other = 0;
  for (int y = 0; y < png->height; ++y) {
    for (int x = 0; x < png->width; ++x) {
      const auto c = png->At(x, y);
      if (c == std::vector<int>{255, 255, 255}) continue;
      (c == std::vector<int>{64, 64, 64} ? grey : other)++;
    }
  }
  EXPECT_GT(grey, 100);
  EXPECT_LT(other, grey);  // axes are off in the wireframe view
}

TEST_F(RenderCommandTest, JpegIsWrittenAtTheAskedSize) {
  const ProcessRun run = Kelvane({"--render", Wagon(), "-o", Out("thumb.jpg")}, dir);
  if (run.status == 1 && run.err.find("no GL context") != std::string::npos) GTEST_SKIP();
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string text = testing::ReadText(Out("thumb.jpg"));
  const auto bytes = std::as_bytes(std::span(text));
  // The baseline frame header holds height then width.
  const auto frame = fixtures::JpegSegment(bytes, 0xC0);
  ASSERT_TRUE(frame);
  EXPECT_EQ(text.substr(*frame + 5, 4), std::string("\0\xB4\0\xF0", 4));
}

TEST_F(RenderCommandTest, RefusalsSayWhyAndUsageErrorsExitWithTwo) {
  struct Row {
    std::vector<std::string> args;
    int status;
    const char* says;
  };
  const Row rows[] = {
      {{"--render", Out("missing.im"), "-o", Out("out.png")}, 1, "missing.im"},
      {{"--render", Wagon(), "-o", Out("out.png"), "--settings", Out("none.ini")}, 1, "none.ini"},
      {{"--render", Wagon(), "-o", Out("out.gif")}, 2, ".png or .jpg"},
      {{"--render", Wagon(), "-o", Out("out.png"), "--size", "9000x10"}, 2, "1..8192"},
      {{"--render", Wagon(), "-o", Out("out.png"), "--size", "12by3"}, 2, "--size"},
      {{"--render", Wagon()}, 2, "-o"},
      {{"--zoom", "2", Wagon()}, 2, "--render"},
      {{"--info", Wagon(), "--settings", Out("k.ini")}, 2, "--settings"},
  };
  for (const Row& row : rows) {
    const ProcessRun run = Kelvane(row.args, dir);
    EXPECT_EQ(run.status, row.status) << row.args.back();
    EXPECT_THAT(run.err, ::testing::HasSubstr(row.says)) << row.args.back();
  }
  EXPECT_FALSE(std::filesystem::exists(Out("out.png")));
}

TEST_F(RenderCommandTest, TraincarStandsOnGroundThatNoTrackRemoves) {
  fixtures::WriteSampleTraincar(dir.path(), KELVANE_STANDIN);
  const std::string folder = (dir / "velmora" / "userdata" / "editing" / "locomotive").string();
  // The ground is the only green: along the bottom middle.
  auto green = [](const Png& p) {
    int n = 0;
    for (int x = 0; x < p.width; ++x) {
      const auto c = p.At(x, 170);
      n += c[1] > c[0] + 40 && c[1] > c[2] + 40;
    }
    return n;
  };
  RENDER_OR_SKIP(track, {folder, "-o", Out("out.png")});
  EXPECT_GT(green(*track), 60);
  RENDER_OR_SKIP(none, {folder, "-o", Out("out.png"), "--gauge", "0.05"});
  EXPECT_EQ(green(*none), 0);
}

// A texture renders as the viewer's texture view shows it: a flat picture
// at its aspect, the checkerboard where it is transparent.
TEST_F(RenderCommandTest, TextureIsAPictureAtItsAspectOverACheckerboard) {
  // 64 x 32: the left half green and fully transparent, the right half an
  // opaque red; saved under a name that says nothing.
  fixtures::Picture<fixtures::Rgba8> halves{64, 32, {}};
  for (int i = 0; i < 64 * 32; ++i)
    halves.texels.push_back(i % 64 < 32 ? fixtures::Rgba8{0, 255, 0, 0}
                                        : fixtures::Rgba8{200, 30, 30, 255});
  fixtures::WriteFile(dir / "halves.bin",
                      fixtures::WriteTga(fixtures::TgaTrueColour(halves, 32, false)));
  RENDER_OR_SKIP(png, {Out("halves.bin"), "-o", Out("out.png"), "--size", "320x180"});
  const std::vector<int> background{39, 116, 152};
  EXPECT_EQ(png->At(5, 5), background);
  EXPECT_EQ(png->At(200, 90), (std::vector<int>{200, 30, 30}));

  // The picture's extent along the middle row and column through the red.
  int left = -1, right = -1, top = -1, bottom = -1;
  for (int x = 0; x < png->width; ++x) {
    if (png->At(x, 90) == background) continue;
    if (left < 0) left = x;
    right = x;
  }
  for (int y = 0; y < png->height; ++y) {
    if (png->At(200, y) == background) continue;
    if (top < 0) top = y;
    bottom = y;
  }
  ASSERT_GT(left, 0);
  ASSERT_GT(top, 0);
  EXPECT_NEAR(static_cast<double>(right - left + 1) / (bottom - top + 1), 2.0, 0.05);
  // Nine tenths of the height.
  EXPECT_NEAR(bottom - top + 1, 81, 2);

  // The transparent half shows both squares of the checkerboard, no green.
  std::set<std::vector<int>> seen;
  for (int x = left + 2; x < (left + right) / 2 - 2; ++x)
    seen.insert(png->At(x, 90));
  for (int y = top + 2; y < bottom - 2; ++y)
    seen.insert(png->At(left + 20, y));
  EXPECT_EQ(seen, (std::set<std::vector<int>>{{204, 204, 204}, {153, 153, 153}}));
}

}  // namespace
}  // namespace kelvane
