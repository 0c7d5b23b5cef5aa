// The picture comparison the render tests rely on.

#include "support/image_compare.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace kelvane::testing {
namespace {

RgbImage Flat(int w, int h, std::uint8_t v) {
  return RgbImage{w, h, std::vector<std::uint8_t>(static_cast<std::size_t>(w * h * 3), v)};
}

TEST(ImagesAgree, ToleranceIsPerChannelAndInclusive) {
  TempDir dir;
  RgbImage a = Flat(4, 3, 100), b = Flat(4, 3, 100);
  b.rgb[17] = 101;
  EXPECT_TRUE(ImagesAgree(a, b, 1, dir / "x"));
  b.rgb[17] = 102;
  const auto result = ImagesAgree(a, b, 1, dir / "x");
  EXPECT_FALSE(result);
  // Texel 5 is (1, 1); byte 17 is its blue.
  EXPECT_NE(std::string(result.message()).find("first at (1, 1) channel 2"), std::string::npos)
      << result.message();
  EXPECT_TRUE(std::filesystem::exists(dir / "x-actual.png"));
  EXPECT_TRUE(std::filesystem::exists(dir / "x-diff.png"));
}

TEST(ImagesAgree, DifferentSizesNeverAgreeAndWriteNothingWhenEqual) {
  TempDir dir;
  EXPECT_FALSE(ImagesAgree(Flat(4, 3, 0), Flat(3, 4, 0), 255, dir / "y"));
  EXPECT_TRUE(ImagesAgree(Flat(2, 2, 9), Flat(2, 2, 9), 0, dir / "z"));
  EXPECT_FALSE(std::filesystem::exists(dir / "z-actual.png"));
}

TEST(ColourNear, FindsAColourOnlyWithinTheRadius) {
  RgbImage a = Flat(5, 5, 0);
  const std::size_t at = (4 * 5 + 4) * 3;  // (4, 4)
  a.rgb[at] = 200;
  EXPECT_FALSE(ColourNear(a, 2, 2, 1, {200, 0, 0}, 0));
  EXPECT_TRUE(ColourNear(a, 2, 2, 2, {200, 0, 0}, 0));
  EXPECT_TRUE(ColourNear(a, 2, 2, 2, {198, 2, 0}, 2));
}

}  // namespace
}  // namespace kelvane::testing
