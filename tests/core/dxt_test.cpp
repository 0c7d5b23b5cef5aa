#include "textures/dxt.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>

#include "fixtures/texture_writer.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::BlockIndices;
using kelvane::testing::TexelOf;
using ::testing::Each;

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
auto Dxt3(const std::byte* b, bool keepAlpha) {
  return DecodeOne<4>(
      [&](std::uint8_t* d, std::ptrdiff_t p) { dxt::DecodeDxt3Block(b, d, p, keepAlpha); });
}
auto Dxt5(const std::byte* b, bool keepAlpha) {
  return DecodeOne<4>(
      [&](std::uint8_t* d, std::ptrdiff_t p) { dxt::DecodeDxt5Block(b, d, p, keepAlpha); });
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

}  // namespace
}  // namespace kelvane
