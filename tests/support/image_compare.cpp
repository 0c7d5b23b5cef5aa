#include "support/image_compare.h"

#include <png.h>

#include <cstdlib>
#include <cstring>

#include "png_writer.h"

namespace kelvane::testing {

namespace {

void WriteRgb(const std::filesystem::path& file, const RgbImage& image) {
  PixelBuffer b = PixelBuffer::Zeroed(static_cast<std::uint16_t>(image.width),
                                      static_cast<std::uint16_t>(image.height), 3);
  const std::size_t stride = b.RowBytes();
  for (int y = 0; y < image.height; ++y) {
    for (std::size_t i = 0; i < stride; ++i)
      b.pixels[static_cast<std::size_t>(image.height - 1 - y) * stride + i] =
          image.rgb[static_cast<std::size_t>(y) * stride + i];
  }
  WritePng(file, b, nullptr);
}

}  // namespace

std::optional<RgbImage> ReadPng(const std::filesystem::path& file,
                                std::vector<std::uint8_t>* alpha) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, file.c_str())) return std::nullopt;
  const bool hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
  image.format = hasAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
  std::vector<std::uint8_t> texels(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, texels.data(), 0, nullptr)) return std::nullopt;
  RgbImage out{static_cast<int>(image.width), static_cast<int>(image.height), {}};
  if (alpha) alpha->clear();
  if (!hasAlpha) {
    out.rgb = std::move(texels);
    return out;
  }
  for (std::size_t i = 0; i < texels.size(); i += 4) {
    for (std::size_t k = 0; k < 3; ++k)
      out.rgb.push_back(texels[i + k]);
    if (alpha) alpha->push_back(texels[i + 3]);
  }
  return out;
}

::testing::AssertionResult ImagesAgree(const RgbImage& actual, const RgbImage& expected,
                                       int tolerance, const std::filesystem::path& artefacts) {
  if (actual.width != expected.width || actual.height != expected.height) {
    return ::testing::AssertionFailure() << "sizes differ: " << actual.width << "x" << actual.height
                                         << " against " << expected.width << "x" << expected.height;
  }
  RgbImage diff{actual.width, actual.height, std::vector<std::uint8_t>(actual.rgb.size())};
  std::size_t bad = 0, first = 0;
  for (std::size_t i = 0; i < actual.rgb.size(); ++i) {
    const int d = std::abs(int{actual.rgb[i]} - int{expected.rgb[i]});
    diff.rgb[i] = static_cast<std::uint8_t>(std::min(255, d * 16));
    if (d > tolerance && bad++ == 0) first = i;
  }
  if (bad == 0) return ::testing::AssertionSuccess();
  WriteRgb(artefacts.string() + "-actual.png", actual);
  WriteRgb(artefacts.string() + "-diff.png", diff);
  const std::size_t texel = first / 3;
  return ::testing::AssertionFailure()
         << bad << " channel values differ by more than " << tolerance << ", first at ("
         << texel % static_cast<std::size_t>(actual.width) << ", "
         << texel / static_cast<std::size_t>(actual.width) << ") channel " << first % 3 << ": "
         << int{actual.rgb[first]} << " against " << int{expected.rgb[first]}
         << "; pictures written to " << artefacts.string() << "-actual.png and -diff.png";
}

bool ColourNear(const RgbImage& image, int x, int y, int radius, std::vector<int> colour,
                int tolerance) {
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      const int px = x + dx, py = y + dy;
      if (px < 0 || py < 0 || px >= image.width || py >= image.height) continue;
      const auto c = image.At(px, py);
      bool match = true;
      for (int k = 0; k < 3; ++k)
        match = match && std::abs(c[static_cast<std::size_t>(k)] -
                                  colour[static_cast<std::size_t>(k)]) <= tolerance;
      if (match) return true;
    }
  }
  return false;
}

}  // namespace kelvane::testing
