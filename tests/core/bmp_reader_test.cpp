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
using kelvane::testing::Alphas;
using kelvane::testing::TopDownRgb;
using ::testing::Each;
using ::testing::ElementsAre;
using Kind = ReadResult::Kind;

class BmpReaderTest : public testing::ReaderTest {
 protected:
  ReadResult Read(const BmpFixture& f, TextureRequest request = {"c:\\dir\\b.bmp", false, 2}) {
    return ReadBmpTexture(fixtures::WriteBmp(f), request, state, notifier);
  }
};

const std::string kFormatText = "b.bmp Bitmap format not supported";

Picture<Rgb8> Gradient(int w, int h) {
  Picture<Rgb8> p{w, h, {}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      p.texels.push_back({static_cast<std::uint8_t>(x * 10), static_cast<std::uint8_t>(y * 10), 1});
    }
  }
  return p;
}

TEST_F(BmpReaderTest, PaddedRowsAndTopDownStorageKeepThePicture) {
  for (int w : {1, 3, 5}) {
    for (bool topDown : {false, true}) {
      const auto p = Gradient(w, 3);
      const auto r = Read(fixtures::Bmp24(p, topDown));
      ASSERT_EQ(r.kind, Kind::kImage) << w;
      EXPECT_EQ(r.image.bytesPerTexel, 3);
      EXPECT_EQ(TopDownRgb(r.image), TopDownRgb(p)) << w;
      const auto r8 =
          Read(fixtures::Bmp8(w, 3, {}, std::vector<std::uint8_t>(3 * w, 9), topDown, false));
      ASSERT_EQ(r8.kind, Kind::kImage) << w;
      EXPECT_THAT(r8.image.pixels, Each(9));
    }
  }
  EXPECT_TRUE(notifier.notices.empty());
}

// The 8-bit palette's size comes from its count or, without one, from the
// data offset.
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

TEST_F(BmpReaderTest, UndecodedLayoutsGetTheFormatMessage) {
  auto odd = fixtures::Bmp8(2, 1, std::vector<Rgb8>(3), {0, 1}, false, true);
  auto oneBit =
      fixtures::Bmp8(8, 1, std::vector<Rgb8>(2), std::vector<std::uint8_t>(8), false, true);
  oneBit.bits = 1;
  auto sixteen = fixtures::Bmp24(Gradient(2, 2), false);
  sixteen.bits = 16;
  auto empty = fixtures::Bmp24(Gradient(1, 1), false);
  empty.height = 0;
  auto os2Header = fixtures::Bmp24(Gradient(4, 1), false);
  os2Header.infoHeaderBytes = 64;
  for (const BmpFixture* f : {&odd, &oneBit, &sixteen, &empty, &os2Header}) {
    notifier.notices.clear();
    EXPECT_EQ(Read(*f).kind, Kind::kFailed) << f->bits;
    EXPECT_EQ(Message(), kFormatText) << f->bits;
  }
  EXPECT_EQ(notifier.beeps, 0);
}

// Every cut inside the padded texel rows, the last row's padding included.
TEST_F(BmpReaderTest, EveryCutInsideThePaddedRowsIsReported) {
  const auto whole = fixtures::WriteBmp(fixtures::Bmp24(Gradient(3, 2), true));
  for (std::size_t n = 54; n < whole.size(); ++n) {
    notifier.notices.clear();
    const std::vector<std::byte> prefix(whole.begin(), whole.begin() + static_cast<long>(n));
    ASSERT_EQ(ReadBmpTexture(prefix, {"b.bmp"}, state, notifier).kind, Kind::kFailed) << n;
    EXPECT_EQ(Message(), "Error reading bitmap data") << n;
  }
}

TEST_F(BmpReaderTest, ConstantAlphaGivesRgbaWithoutAHeldImage) {
  const auto r = Read(fixtures::Bmp24(Gradient(2, 2), false), {"b.bmp", true, 100});
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_EQ(r.image.bytesPerTexel, 4);
  EXPECT_THAT(Alphas(r.image), Each(100));
  EXPECT_FALSE(state.alphaImagePending);
}

}  // namespace
}  // namespace kelvane
