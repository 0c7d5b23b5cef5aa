// Thumbnails shrink a picture by averaging to fit the asked size.

#include "thumbnail_command.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace kelvane
