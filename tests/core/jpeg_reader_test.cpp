#include "textures/jpeg_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using kelvane::testing::Alphas;
using kelvane::testing::TexelOf;
using ::testing::Each;
using Kind = ReadResult::Kind;

// Top half red, bottom half blue, as seen.
std::vector<std::byte> RedOverBlue(int w, int h) {
  std::vector<std::uint8_t> samples;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool top = y < h / 2;
      samples.insert(samples.end(), {static_cast<std::uint8_t>(top ? 220 : 0), 0,
                                     static_cast<std::uint8_t>(top ? 0 : 220)});
    }
  }
  return fixtures::EncodeJpeg(w, h, 3, samples, 100);
}

// Channels within a small tolerance of the lossy round trip.
void ExpectNear(const std::vector<int>& texel, std::initializer_list<int> rgb) {
  auto want = rgb.begin();
  for (std::size_t c = 0; c < 3; ++c, ++want)
    EXPECT_LE(std::abs(texel[c] - *want), 3) << c;
}

class JpegReaderTest : public testing::ReaderTest {
 protected:
  ReadResult Read(const std::vector<std::byte>& bytes) {
    return ReadJpegTexture(bytes, {"/tex/p.jpg", true, 7}, state, notifier);
  }
};

// Textures current tools write: the memory follows the frame header, so
// neither the coefficients of a progressive file nor a large picture is
// refused for want of a fixed budget. Rows are made while encoding.
TEST_F(JpegReaderTest, LargeTexturesAreDecoded) {
  struct Case {
    int side;
    bool progressive;
  };
  for (const Case c : {Case{4096, true}, Case{8192, false}}) {
    const auto bytes = fixtures::EncodeJpeg(
        c.side, c.side, 3,
        [&](int y, std::uint8_t* row) {
          for (int x = 0; x < c.side; ++x, row += 3) {
            row[0] = static_cast<std::uint8_t>(x * 256 / c.side);
            row[1] = static_cast<std::uint8_t>(y * 256 / c.side);
            row[2] = 90;
          }
        },
        75, c.progressive);
    const auto r = Read(bytes);
    ASSERT_EQ(r.kind, Kind::kImage) << c.side;
    EXPECT_EQ(r.image.width, c.side);
    EXPECT_EQ(r.image.height, c.side);
    // Seen from the top: x a quarter in, y three quarters down.
    ExpectNear(TexelOf(r.image, c.side / 4, c.side / 4), {64, 192, 90});
  }
  EXPECT_TRUE(notifier.notices.empty());
}

TEST_F(JpegReaderTest, AHeldAlphaImageGivesItsRedBytesOrIsDroppedForAnotherSize) {
  std::vector<std::uint8_t> alpha(3 * 4 * 2);
  for (std::size_t i = 0; i < 8; ++i)
    alpha[i * 3] = static_cast<std::uint8_t>(10 + i);
  state.HoldAlphaImage(alpha);
  auto r = Read(RedOverBlue(4, 2));
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(Alphas(r.image), ::testing::ElementsAre(10, 11, 12, 13, 14, 15, 16, 17));
  EXPECT_FALSE(state.HoldsAlphaImage());
  EXPECT_FALSE(state.alphaImagePending);

  state.HoldAlphaImage(std::vector<std::uint8_t>(3 * 32 * 32, 50));
  EXPECT_EQ(Read(RedOverBlue(64, 64)).kind, Kind::kFailed);
  ASSERT_EQ(notifier.notices.size(), 1u);
  EXPECT_EQ(notifier.notices[0].text, "p.jpg Texture ERROR.. Image and Alpha not the same size");
  EXPECT_EQ(notifier.notices[0].caption, "Info");
  EXPECT_FALSE(state.HoldsAlphaImage());
  EXPECT_FALSE(state.alphaImagePending) << "nothing is left to give an alpha";

  // Pending with nothing held: the next picture is simply opaque.
  state.alphaImagePending = true;
  r = Read(RedOverBlue(64, 64));
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(Alphas(r.image), Each(255));
  EXPECT_FALSE(state.alphaImagePending);
}

}  // namespace
}  // namespace kelvane
