#include "textures/dxt.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "fixtures/texture_writer.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::BlockIndices;
using fixtures::Picture;
using fixtures::Rgb8;
using kelvane::testing::Alphas;
using kelvane::testing::TexelOf;
using kelvane::testing::TopDownRgb;
using ::testing::Each;
using ::testing::ElementsAre;

constexpr BlockIndices kRowOfEachIndex{0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3};

// One block decoded into a 4 x 4 array with rows top-down.
template <std::size_t kBytes, typename Fn>
std::array<std::uint8_t, 16 * kBytes> DecodeOne(Fn decode) {
  std::array<std::uint8_t, 16 * kBytes> out{};
  decode(out.data(), static_cast<std::ptrdiff_t>(4 * kBytes));
  return out;
}

std::vector<int> At(const std::uint8_t* block, std::size_t bytes, int x, int y) {
  const std::uint8_t* t = block + (y * 4 + x) * bytes;
  return std::vector<int>(t, t + bytes);
}

// Each block decoder on one block.
auto Dxt1Rgb(const std::byte* b) {
  return DecodeOne<3>([&](std::uint8_t* d, std::ptrdiff_t p) { dxt::DecodeDxt1BlockRgb(b, d, p); });
}
auto Dxt1Rgba(const std::byte* b) {
  return DecodeOne<4>(
      [&](std::uint8_t* d, std::ptrdiff_t p) { dxt::DecodeDxt1BlockRgba(b, d, p); });
}
auto Dxt3(const std::byte* b, bool keepAlpha) {
  return DecodeOne<4>(
      [&](std::uint8_t* d, std::ptrdiff_t p) { dxt::DecodeDxt3Block(b, d, p, keepAlpha); });
}
auto Dxt5(const std::byte* b, bool keepAlpha) {
  return DecodeOne<4>(
      [&](std::uint8_t* d, std::ptrdiff_t p) { dxt::DecodeDxt5Block(b, d, p, keepAlpha); });
}

TEST(DxtColour, EndpointsExpandWithoutBitReplication) {
  EXPECT_THAT(dxt::Expand565(0xFFFF), ElementsAre(248, 252, 248));
  EXPECT_THAT(dxt::Expand565(0xF800), ElementsAre(248, 0, 0));
  EXPECT_THAT(dxt::Expand565(0x07E0), ElementsAre(0, 252, 0));
  EXPECT_THAT(dxt::Expand565(0x0821), ElementsAre(8, 4, 8));
}

TEST(DxtColour, FourColourPaletteTruncatesEachThirdOnItsOwn) {
  // Red 248 and 8: joint rounding would give 168 and 88.
  const auto block = fixtures::Dxt1Block(0xF800, 0x0800, kRowOfEachIndex);
  const auto out = Dxt1Rgb(block.data());  // the top row holds indices 0 to 3
  EXPECT_THAT(std::vector<int>(out.begin(), out.begin() + 12),
              ElementsAre(248, 0, 0, 8, 0, 0, 167, 0, 0, 87, 0, 0));
}

TEST(DxtColour, IndicesRunFromTheLowBitsAndTopRowFirst) {
  BlockIndices indices{};
  indices[1] = 1;   // top row, second texel
  indices[12] = 1;  // bottom row, first texel
  const auto block = fixtures::Dxt1Block(0xFFFF, 0x0000, indices);
  const auto out = Dxt1Rgb(block.data());
  for (int t = 0; t < 16; ++t) {
    const int expected = indices[t] == 1 ? 0 : 248;
    EXPECT_EQ(At(out.data(), 3, t % 4, t / 4)[0], expected) << "texel " << t;
  }
}

TEST(DxtColour, ThreeColourBlockTransparencyDependsOnLayout) {
  // c0 <= c1: indices 2 and 3 share the midpoint, index 3 is transparent.
  const auto block = fixtures::Dxt1Block(0x0800, 0xF800, kRowOfEachIndex);
  const auto rgba = Dxt1Rgba(block.data());
  EXPECT_THAT(At(rgba.data(), 4, 2, 0), ElementsAre(128, 0, 0, 255));
  EXPECT_THAT(At(rgba.data(), 4, 3, 0), ElementsAre(128, 0, 0, 0));
  EXPECT_THAT(At(Dxt1Rgb(block.data()).data(), 3, 3, 0), ElementsAre(128, 0, 0));

  const auto constant = DecodeOne<4>([&](std::uint8_t* d, std::ptrdiff_t p) {
    dxt::DecodeDxt1BlockConstantAlpha(block.data(), d, p, 77);
  });
  EXPECT_THAT(At(constant.data(), 4, 3, 0), ElementsAre(128, 0, 0, 77));

  // Equal endpoints are three-colour mode too.
  const auto equal = fixtures::Dxt1Block(0x001F, 0x001F, kRowOfEachIndex);
  EXPECT_THAT(At(Dxt1Rgba(equal.data()).data(), 4, 2, 0), ElementsAre(0, 0, 248, 255));
  EXPECT_THAT(At(Dxt1Rgba(equal.data()).data(), 4, 3, 0), ElementsAre(0, 0, 248, 0));
}

TEST(DxtAlpha, Dxt3NibblesScaleBySixteenAndFifteenIsOpaque) {
  BlockIndices alpha{};
  for (int t = 0; t < 16; ++t)
    alpha[t] = static_cast<std::uint8_t>(t);
  const auto block = fixtures::Dxt3Block(alpha, 0xFFFF, 0, {});
  const auto out = Dxt3(block.data(), true);
  for (int t = 0; t < 15; ++t)
    EXPECT_EQ(out[t * 4 + 3], t * 16) << "texel " << t;
  EXPECT_EQ(out[15 * 4 + 3], 255);

  const auto opaque = Dxt3(block.data(), false);
  for (int t = 0; t < 16; ++t)
    EXPECT_EQ(opaque[t * 4 + 3], 255);

  // Colours ignore the endpoint order: four colours although c0 < c1,
  // 2*8/3 + 248/3 and 8/3 + 2*248/3.
  const auto ordered = Dxt3(fixtures::Dxt3Block({}, 0x0800, 0xF800, kRowOfEachIndex).data(), true);
  EXPECT_EQ(ordered[2 * 4], 87);
  EXPECT_EQ(ordered[3 * 4], 167);
}

TEST(DxtAlpha, Dxt5PalettesFollowEndpointOrder) {
  EXPECT_THAT(dxt::Dxt5AlphaPalette(255, 0), ElementsAre(255, 0, 218, 182, 145, 109, 72, 36));
  EXPECT_THAT(dxt::Dxt5AlphaPalette(10, 110), ElementsAre(10, 110, 30, 50, 70, 90, 0, 255));
  EXPECT_THAT(dxt::Dxt5AlphaPalette(7, 7), ElementsAre(7, 7, 7, 7, 7, 7, 0, 255));
}

TEST(DxtAlpha, Dxt5IndicesSpanTheWholeFortyEightBitWord) {
  // Texels 5 and 10 straddle the 16-bit word boundaries; 15 uses the top bits.
  BlockIndices idx{};
  for (int t = 0; t < 16; ++t)
    idx[t] = static_cast<std::uint8_t>(t % 8);
  idx[5] = 7;
  idx[10] = 5;
  idx[15] = 6;
  const auto block = fixtures::Dxt5Block(255, 0, idx, 0xFFFF, 0, {});
  const auto out = Dxt5(block.data(), true);
  const auto pal = dxt::Dxt5AlphaPalette(255, 0);
  for (int t = 0; t < 16; ++t)
    EXPECT_EQ(out[t * 4 + 3], pal[idx[t]]) << "texel " << t;
}

TEST(DxtAlpha, Dxt5DecodesAlikeWithAndWithoutProcessorShuffles) {
  // Random blocks cover both alpha palettes and every index; the picture
  // decoder runs whole block rows apart from its edge blocks.
  std::mt19937 random(11);
  std::vector<std::byte> payload(3 * 2 * 16);
  for (int round = 0; round < 300; ++round) {
    for (auto& b : payload)
      b = static_cast<std::byte>(random() & 0xFF);
    for (bool keep : {true, false}) {
      const auto image = dxt::DecodeDxt5(payload, 10, 7, keep ? 2 : 0);
      ASSERT_TRUE(image);
      for (int k = 0; k < 6; ++k) {
        const std::byte* block = payload.data() + k * 16;
        const auto fast = Dxt5(block, keep);
        const auto portable = DecodeOne<4>([&](std::uint8_t* d, std::ptrdiff_t p) {
          dxt::DecodeDxt5BlockPortable(block, d, p, keep);
        });
        ASSERT_EQ(fast, portable) << "round " << round << ", block " << k;
        for (int y = 0; y < 4 && (k / 3) * 4 + y < 7; ++y) {
          for (int x = 0; x < 4 && (k % 3) * 4 + x < 10; ++x) {
            ASSERT_EQ(TexelOf(*image, (k % 3) * 4 + x, 6 - ((k / 3) * 4 + y)),
                      At(portable.data(), 4, x, y));
          }
        }
      }
    }
  }
}

// A picture of two colours per block; both exact in 5-6-5.
Picture<Rgb8> Checker(int w, int h) {
  Picture<Rgb8> p{w, h, {}};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool odd = ((x + y) % 2) != 0;
      p.texels.push_back(odd ? Rgb8{248, 252, 248}
                             : Rgb8{static_cast<std::uint8_t>(8 * (x / 4)),
                                    static_cast<std::uint8_t>(4 * (y / 4)), 64});
    }
  }
  return p;
}

// Rows end bottom-up; 6 x 6 keeps two blocks a row and two rows of the
// second block row; block rows past the height are ignored.
TEST(DxtImage, BlocksLandInPictureOrderClippedToTheSides) {
  struct Case {
    int w, h, encodedHeight, alphaMode;
  };
  for (const Case c : {Case{12, 8, 8, 0}, Case{6, 6, 6, 2}, Case{4, 8, 12, 0}}) {
    const auto payload = fixtures::EncodeTwoColourDxt1(Checker(c.w, c.encodedHeight));
    const auto image = dxt::DecodeDxt1(payload, c.w, c.h, c.alphaMode, false, 0);
    ASSERT_TRUE(image) << c.w;
    EXPECT_EQ(image->bytesPerTexel, c.alphaMode == 2 ? 4 : 3) << c.w;
    EXPECT_EQ(TopDownRgb(*image), TopDownRgb(Checker(c.w, c.h))) << c.w;
    if (c.alphaMode == 2) {
      EXPECT_THAT(Alphas(*image), Each(255));
    }
  }
}

TEST(DxtImage, MissingBlockRowsStayZero) {
  // Only the top block row of a 4 x 8 picture: the bottom four rows are zero.
  const auto picture = Checker(4, 8);
  const auto tall = fixtures::EncodeTwoColourDxt1(picture);
  const std::vector<std::byte> firstRow(tall.begin(), tall.begin() + 8);
  const auto partial = dxt::DecodeDxt1(firstRow, 4, 8, 0, false, 0);
  ASSERT_TRUE(partial);
  for (int y = 0; y < 4; ++y)
    EXPECT_THAT(TexelOf(*partial, 0, y), ElementsAre(0, 0, 0));
  EXPECT_EQ(TexelOf(*partial, 0, 7)[0], picture.At(0, 0).r);
}

TEST(DxtImage, WideRowsDecodeToTheLastColumn) {
  Picture<Rgb8> p{4100, 4, std::vector<Rgb8>(4100 * 4, Rgb8{8, 4, 8})};
  for (int y = 0; y < 4; ++y)
    p.texels[static_cast<std::size_t>(y * 4100 + 4099)] = {248, 0, 0};
  const auto image = dxt::DecodeDxt1(fixtures::EncodeTwoColourDxt1(p), 4100, 4, 0, true, 9);
  ASSERT_TRUE(image);
  EXPECT_THAT(TexelOf(*image, 4099, 0), ElementsAre(248, 0, 0, 9));
  EXPECT_THAT(TexelOf(*image, 4098, 3), ElementsAre(8, 4, 8, 9));
}

TEST(DxtImage, SidesOutOfRangeOrUnbackedByThePayloadAreRefused) {
  const std::vector<std::byte> one(16);
  EXPECT_FALSE(dxt::DecodeDxt1(one, 0, 4, 0, false, 0));
  EXPECT_FALSE(dxt::DecodeDxt1(one, 4, -4, 0, false, 0));
  EXPECT_FALSE(dxt::DecodeDxt3(one, 65536, 4, 0));
  EXPECT_FALSE(dxt::DecodeDxt5(one, 65535, 65535, 1));
  EXPECT_TRUE(dxt::DecodeDxt5(one, 4, 4, 1));
  EXPECT_FALSE(dxt::DecodeDxt5(std::vector<std::byte>(24), 8, 4, 1)) << "a block row cut short";
}

}  // namespace
}  // namespace kelvane
