#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kelvane::testing {

// An RGB picture, rows from the top.
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  std::vector<int> At(int x, int y) const {
    const auto* p = rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    return {p[0], p[1], p[2]};
  }
};

// A PNG file as libpng reads it; nothing when it cannot be read. Its alpha
// bytes, one a texel, go to `alpha` when given (none when it has no alpha
// channel).
std::optional<RgbImage> ReadPng(const std::filesystem::path& file,
                                std::vector<std::uint8_t>* alpha = nullptr);

// Pictures agree when every channel of every texel differs by at most
// `tolerance` (1 allows the rounding two rasterisations of the same
// geometry may differ by). On disagreement, `<artefacts>-actual.png` and
// `<artefacts>-diff.png` (differences scaled by 16) are written, and the
// result names the first differing texel and the count.
::testing::AssertionResult ImagesAgree(const RgbImage& actual, const RgbImage& expected,
                                       int tolerance, const std::filesystem::path& artefacts);

// True when a texel within `radius` of (x, y) matches `colour` within
// `tolerance` per channel.
bool ColourNear(const RgbImage& image, int x, int y, int radius, std::vector<int> colour,
                int tolerance);

}  // namespace kelvane::testing
