// The alpha-image protocol as the readers play it together: one reader
// holds an image, the next colour image takes its alpha from it.

#include "textures/alpha_merge.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "texture_test_support.h"
#include "textures/bmp_reader.h"
#include "textures/tga_reader.h"

namespace kelvane {
namespace {

using fixtures::Picture;
using fixtures::Rgb8;
using fixtures::Rgba8;
using kelvane::testing::Alphas;
using ::testing::Each;
using ::testing::ElementsAre;
using Kind = ReadResult::Kind;

// A picture whose red channel counts up from `first`.
Picture<Rgb8> Ramp(int w, int h, int first) {
  Picture<Rgb8> p{w, h, {}};
  for (int i = 0; i < w * h; ++i)
    p.texels.push_back({static_cast<std::uint8_t>(first + i), 1, 2});
  return p;
}

Picture<Rgba8> WithAlpha(const Picture<Rgb8>& p, std::uint8_t a) {
  Picture<Rgba8> out{p.width, p.height, {}};
  for (const Rgb8& t : p.texels)
    out.texels.push_back({t.r, t.g, t.b, a});
  return out;
}

class AlphaProtocolTest : public testing::ReaderTest {
 protected:
  ReadResult Tga(const Picture<Rgb8>& p, std::uint8_t depth, TextureRequest r = {"a.tga"}) {
    return ReadTgaTexture(
        fixtures::WriteTga(fixtures::TgaTrueColour(WithAlpha(p, 77), depth, false)), r, state,
        notifier);
  }
  ReadResult Bmp(const Picture<Rgb8>& p, TextureRequest r = {"c.bmp"}) {
    return ReadBmpTexture(fixtures::WriteBmp(fixtures::Bmp24(p, false)), r, state, notifier);
  }
  // Loads `p` as the held alpha image through the TGA reader.
  void HoldTga(const Picture<Rgb8>& p, std::uint8_t depth = 24) {
    state.loadingAlphaImage = true;
    ASSERT_EQ(Tga(p, depth).kind, Kind::kAlphaHeld);
  }
};

TEST_F(AlphaProtocolTest, HeldTgaGivesItsRedBytesToTheNextBmp) {
  for (std::uint8_t depth : {std::uint8_t{24}, std::uint8_t{32}}) {
    HoldTga(Ramp(2, 2, 100), depth);
    EXPECT_EQ(state.AlphaImageSize(), 12u);
    EXPECT_TRUE(state.alphaImagePending);
    EXPECT_FALSE(state.loadingAlphaImage);

    const auto r = Bmp(Ramp(2, 2, 0));
    ASSERT_EQ(r.kind, Kind::kImage);
    // Bottom row first: the picture's rows 1 then 0.
    EXPECT_THAT(Alphas(r.image), ElementsAre(102, 103, 100, 101)) << depth;
    EXPECT_FALSE(state.HoldsAlphaImage());
    EXPECT_FALSE(state.alphaImagePending);
  }
}

TEST_F(AlphaProtocolTest, HeldBmpGivesItsAlphaToTheNextTga) {
  // In a 32-bit colour image the held alpha replaces the file's own.
  for (std::uint8_t depth : {std::uint8_t{24}, std::uint8_t{32}}) {
    state.loadingAlphaImage = true;
    ASSERT_EQ(Bmp(Ramp(1, 2, 40)).kind, Kind::kAlphaHeld);
    const auto r = Tga(Ramp(1, 2, 0), depth);
    ASSERT_EQ(r.kind, Kind::kImage);
    EXPECT_THAT(Alphas(r.image), ElementsAre(41, 40)) << depth;
    EXPECT_FALSE(state.alphaImagePending);
  }
}

TEST_F(AlphaProtocolTest, KindAboveThreeMakesABmpOpaqueAndStillReleases) {
  HoldTga(Ramp(2, 1, 9));
  const auto r = Bmp(Ramp(2, 1, 0), {"c.bmp", false, 5});
  EXPECT_THAT(Alphas(r.image), Each(255));
  EXPECT_FALSE(state.HoldsAlphaImage());
  EXPECT_FALSE(state.alphaImagePending);
}

TEST_F(AlphaProtocolTest, SmallerHeldImageIsRefusedNotOverread) {
  for (std::uint8_t depth : {std::uint8_t{24}, std::uint8_t{32}}) {
    notifier.notices.clear();
    HoldTga(Ramp(1, 1, 5));
    EXPECT_EQ(Tga(Ramp(2, 2, 0), depth, {"/x/big.tga"}).kind, Kind::kFailed);
    ASSERT_EQ(notifier.notices.size(), 1u);
    EXPECT_EQ(notifier.notices[0].text,
              "big.tga Texture ERROR.. Image and Alpha not the same size");
    EXPECT_FALSE(state.HoldsAlphaImage());
  }
  notifier.notices.clear();
  HoldTga(Ramp(1, 1, 5));
  EXPECT_EQ(Bmp(Ramp(3, 1, 0)).kind, Kind::kFailed);
  EXPECT_EQ(notifier.notices.size(), 1u);

  // A larger held image covers the picture; its first texels are used.
  HoldTga(Ramp(3, 1, 5));
  EXPECT_THAT(Alphas(Bmp(Ramp(2, 1, 0)).image), ElementsAre(5, 6));
}

TEST(AlphaMergeHelpers, ShortNameConstantAlphaAndCheckedProduct) {
  EXPECT_EQ(ShortName("C:\\Content\\wagon\\body.jpg"), "body.jpg");
  EXPECT_EQ(ShortName("/home/u/body.jpg"), "body.jpg");
  EXPECT_EQ(ShortName("body.jpg"), "body.jpg");
  // The constant alpha is clamped; products detect overflow.
  EXPECT_EQ(ConstantAlpha(300), 255);
  EXPECT_EQ(ConstantAlpha(-4), 0);
  EXPECT_EQ(ConstantAlpha(100), 100);
  EXPECT_EQ(CheckedProduct({65535, 65535, 4}), std::size_t{65535} * 65535 * 4);
  EXPECT_FALSE(CheckedProduct({std::size_t{1} << 40, std::size_t{1} << 40}));
}

}  // namespace
}  // namespace kelvane
