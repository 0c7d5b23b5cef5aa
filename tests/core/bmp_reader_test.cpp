#include "textures/bmp_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::BmpFixture;
using fixtures::Picture;
using fixtures::Rgb8;
using kelvane::testing::TopDownRgb;
using ::testing::ElementsAre;
using Kind = ReadResult::Kind;

class BmpReaderTest : public testing::ReaderTest {
 protected:
  ReadResult Read(const BmpFixture& f, TextureRequest request = {"c:\\dir\\b.bmp", false, 2}) {
    return ReadBmpTexture(fixtures::WriteBmp(f), request, state, notifier);
  }
};

Picture<Rgb8> Gradient(int w, int h) {
  Picture<Rgb8> p{w, h, {}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      p.texels.push_back({static_cast<std::uint8_t>(x * 10), static_cast<std::uint8_t>(y * 10), 1});
    }
  }
  return p;
}

TEST_F(BmpReaderTest, EveryWindowsInfoHeaderSizeReadsTheSamePicture) {
  std::vector<Rgb8> palette(256);
  for (int i = 0; i < 256; ++i)
    palette[i] = {static_cast<std::uint8_t>(i), 0, 200};
  const auto p = Gradient(4, 2);
  for (std::uint32_t size : {12u, 40u, 52u, 56u, 108u, 124u}) {
    auto f24 = fixtures::Bmp24(p, false);
    f24.infoHeaderBytes = size;
    const auto r = Read(f24);
    ASSERT_EQ(r.kind, Kind::kImage) << size << ": " << Message();
    EXPECT_EQ(TopDownRgb(r.image), TopDownRgb(p)) << size;
    for (bool counted : {false, true}) {
      palette.resize(counted ? 16 : 256);
      auto f8 = fixtures::Bmp8(4, 1, palette, {0, 1, 14, 15}, false, counted);
      f8.infoHeaderBytes = size;
      const auto r8 = Read(f8);
      ASSERT_EQ(r8.kind, Kind::kImage) << size << ": " << Message();
      EXPECT_THAT(r8.image.pixels, ElementsAre(0, 0, 200, 1, 0, 200, 14, 0, 200, 15, 0, 200))
          << size << (counted ? " counted" : "");
    }
  }
  EXPECT_TRUE(notifier.notices.empty());
}

}  // namespace
}  // namespace kelvane
