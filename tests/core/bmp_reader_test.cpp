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
using kelvane::testing::TexelOf;
using ::testing::Each;
using ::testing::ElementsAre;
using Kind = ReadResult::Kind;

class BmpReaderTest : public ::testing::Test {
 protected:
  ReadResult Read(const BmpFixture& f, TextureRequest request = {"c:\\dir\\b.bmp", false, 2}) {
    return ReadBmpTexture(fixtures::WriteBmp(f), request, state, notifier);
  }
  std::string Message() const {
    return notifier.notices.size() == 1 ? notifier.notices[0].text : std::string();
  }

  TextureLoaderState state;
  RecordingNotifier notifier;
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

void ExpectPicture(const PixelBuffer& b, const Picture<Rgb8>& p) {
  ASSERT_EQ(b.width, p.width);
  ASSERT_EQ(b.height, p.height);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      const Rgb8& c = p.At(x, y);
      EXPECT_THAT(TexelOf(b, x, p.height - 1 - y), ElementsAre(c.r, c.g, c.b)) << x << "," << y;
    }
  }
}

TEST_F(BmpReaderTest, TwentyFourBitTexelsBecomeRgb) {
  Picture<Rgb8> p{4, 4, std::vector<Rgb8>(16, Rgb8{30, 20, 10})};
  const auto r = Read(fixtures::Bmp24(p, false));
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_EQ(r.image.bytesPerTexel, 3);
  for (std::size_t i = 0; i < 16; ++i) {
    EXPECT_THAT(TexelOf(r.image, i % 4, i / 4), ElementsAre(30, 20, 10));
  }
}

TEST_F(BmpReaderTest, PaddedRowsAndTopDownStorageKeepThePicture) {
  for (int w : {1, 3, 5}) {
    for (bool topDown : {false, true}) {
      const auto p = Gradient(w, 3);
      const auto r = Read(fixtures::Bmp24(p, topDown));
      ASSERT_EQ(r.kind, Kind::kImage) << w;
      ExpectPicture(r.image, p);
      const auto r8 =
          Read(fixtures::Bmp8(w, 3, {}, std::vector<std::uint8_t>(3 * w, 9), topDown, false));
      ASSERT_EQ(r8.kind, Kind::kImage) << w;
      EXPECT_THAT(r8.image.pixels, Each(9));
    }
  }
  EXPECT_TRUE(notifier.notices.empty());
}

TEST_F(BmpReaderTest, EightBitPaletteSizeComesFromCountOrDataOffset) {
  std::vector<Rgb8> palette(256);
  for (int i = 0; i < 256; ++i)
    palette[i] = {static_cast<std::uint8_t>(i), 0, 200};
  // Colours-used 0 and data at 54 + 1024: a 256-entry palette.
  auto f = fixtures::Bmp8(4, 1, palette, {0, 1, 254, 255}, false, false);
  auto r = Read(f);
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(r.image.pixels, ElementsAre(0, 0, 200, 1, 0, 200, 254, 0, 200, 255, 0, 200));

  // Data at 54: no palette, grey levels.
  r = Read(fixtures::Bmp8(4, 1, {}, {0, 1, 254, 255}, false, false));
  EXPECT_THAT(r.image.pixels, ElementsAre(0, 0, 0, 1, 1, 1, 254, 254, 254, 255, 255, 255));

  // A counted 16-entry palette.
  r = Read(fixtures::Bmp8(2, 1, std::vector<Rgb8>(16, Rgb8{5, 6, 7}), {3, 15}, false, true));
  EXPECT_THAT(r.image.pixels, ElementsAre(5, 6, 7, 5, 6, 7));
  EXPECT_TRUE(notifier.notices.empty());
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
    ExpectPicture(r.image, p);
    for (bool counted : {false, true}) {
      auto f8 = fixtures::Bmp8(4, 1, palette, {0, 1, 254, 255}, false, counted);
      f8.infoHeaderBytes = size;
      const auto r8 = Read(f8);
      ASSERT_EQ(r8.kind, Kind::kImage) << size << ": " << Message();
      EXPECT_THAT(r8.image.pixels, ElementsAre(0, 0, 200, 1, 0, 200, 254, 0, 200, 255, 0, 200))
          << size << (counted ? " counted" : "");
    }
  }
  EXPECT_TRUE(notifier.notices.empty());
}

TEST_F(BmpReaderTest, FourBitImagesBeepAndAreRefused) {
  BmpFixture f;
  f.width = 4;
  f.height = 1;
  f.bits = 4;
  f.data = std::vector<std::byte>(4);
  EXPECT_EQ(Read(f).kind, Kind::kFailed);
  EXPECT_EQ(notifier.beeps, 1);
  EXPECT_EQ(Message(), "Couldn't load bitmap");
  EXPECT_EQ(notifier.notices[0].caption, "Info");
}

TEST_F(BmpReaderTest, UndecodedLayoutsGetTheFormatMessage) {
  auto odd = fixtures::Bmp8(2, 1, std::vector<Rgb8>(3), {0, 1}, false, true);
  auto oneBit =
      fixtures::Bmp8(8, 1, std::vector<Rgb8>(2), std::vector<std::uint8_t>(8), false, true);
  oneBit.bits = 1;
  auto sixteen = fixtures::Bmp24(Gradient(2, 2), false);
  sixteen.bits = 16;
  auto thirtyTwo = fixtures::Bmp24(Gradient(2, 2), false);
  thirtyTwo.bits = 32;
  auto rle = fixtures::Bmp8(4, 1, {}, {1, 2, 3, 4}, false, false);
  rle.compression = 1;
  auto wide = fixtures::Bmp24(Gradient(1, 1), false);
  wide.width = 65536;
  auto empty = fixtures::Bmp24(Gradient(1, 1), false);
  empty.height = 0;
  auto outside = fixtures::Bmp8(2, 1, std::vector<Rgb8>(16), {3, 16}, false, true);
  auto os2Header = fixtures::Bmp24(Gradient(4, 1), false);
  os2Header.infoHeaderBytes = 64;
  for (const BmpFixture* f :
       {&odd, &oneBit, &sixteen, &thirtyTwo, &rle, &wide, &empty, &outside, &os2Header}) {
    notifier.notices.clear();
    EXPECT_EQ(Read(*f).kind, Kind::kFailed) << f->bits;
    EXPECT_EQ(Message(), kFormatText) << f->bits;
  }
  EXPECT_EQ(notifier.beeps, 0);
}

TEST_F(BmpReaderTest, ShortPaletteAndShortDataAreReported) {
  auto f = fixtures::Bmp8(4, 1, std::vector<Rgb8>(16), {0, 1, 2, 3}, false, true);
  auto bytes = fixtures::WriteBmp(f);
  bytes.resize(54 + 40);
  EXPECT_EQ(ReadBmpTexture(bytes, {"b.bmp"}, state, notifier).kind, Kind::kFailed);
  EXPECT_EQ(Message(), "Error reading palette");
  EXPECT_EQ(notifier.notices[0].caption, "BMP Unit");

  // Every cut inside the padded texel rows, the last row's padding included.
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

TEST_F(BmpReaderTest, MissingFileIsReported) {
  EXPECT_EQ(ReadBmpTextureFile({"/nonexistent/b.bmp", true, 9}, state, notifier).kind,
            Kind::kFailed);
  EXPECT_EQ(Message(), "Error opening /nonexistent/b.bmp");
  EXPECT_FALSE(state.alphaImagePending) << "a failed load leaves no RGBA request behind";
}

}  // namespace
}  // namespace kelvane
