#include "textures/tga_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::Rgb8;
using fixtures::TgaFixture;
using kelvane::testing::TexelOf;
using ::testing::ElementsAre;
using Kind = ReadResult::Kind;

class TgaReaderTest : public testing::ReaderTest {
 protected:
  ReadResult Read(const TgaFixture& f, TextureRequest request = {"dir/t.tga", false, 2}) {
    return ReadTgaTexture(fixtures::WriteTga(f), request, state, notifier);
  }
};

TEST(TgaRows, EveryConverterSwapsEveryTexelOfRowsOfAnyWidth) {
  // Widths around the 4, 8 and 16 texel steps of the converters; the
  // bytes past the row must stay untouched.
  std::vector<std::byte> src(40 * 4);
  for (std::size_t i = 0; i < src.size(); ++i)
    src[i] = static_cast<std::byte>(i * 7 + 1);
  for (const TgaRowConverter& rows : TgaRowConverters()) {
    for (std::size_t bytes : {3u, 4u}) {
      for (std::size_t w = 1; w <= 40; ++w) {
        std::vector<std::uint8_t> dst(w * bytes + 16, 0xEE);
        (bytes == 3 ? rows.bgr : rows.bgra)(src.data(), dst.data(), w);
        for (std::size_t i = 0; i < w * bytes; ++i) {
          const std::size_t c = i % bytes;
          const std::size_t from = c == 0 ? i + 2 : c == 2 ? i - 2 : i;
          ASSERT_EQ(dst[i], static_cast<std::uint8_t>(src[from]))
              << rows.instructionSet << ", " << bytes << " bytes, " << w << " wide, byte " << i;
        }
        for (std::size_t i = w * bytes; i < dst.size(); ++i)
          ASSERT_EQ(dst[i], 0xEE) << rows.instructionSet << ", " << w << " wide, past the row";
      }
    }
  }
}

TEST_F(TgaReaderTest, SixteenBitTexelsKeepFiveBitsPerChannel) {
  const auto r = Read(fixtures::Tga16(4, 1, {0x7FFF, 0x8000, 0x7C00, 0x03E1}, false));
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(TexelOf(r.image, 0, 0), ElementsAre(248, 248, 248));
  EXPECT_THAT(TexelOf(r.image, 1, 0), ElementsAre(0, 0, 0));
  EXPECT_THAT(TexelOf(r.image, 2, 0), ElementsAre(248, 0, 0));
  EXPECT_THAT(TexelOf(r.image, 3, 0), ElementsAre(0, 248, 8));
}

TEST_F(TgaReaderTest, ColourMappedTexelsTakeTheirEntry) {
  std::vector<Rgb8> map;
  for (int i = 0; i < 256; ++i) {
    map.push_back({static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7});
  }
  auto f = fixtures::TgaColourMapped(2, 2, map, {0, 255, 128, 1}, true);
  f.id = std::vector<std::byte>(5, std::byte{0xEE});
  auto r = Read(f);
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(TexelOf(r.image, 0, 1), ElementsAre(0, 255, 7));
  EXPECT_THAT(TexelOf(r.image, 1, 1), ElementsAre(255, 0, 7));
  EXPECT_THAT(TexelOf(r.image, 0, 0), ElementsAre(128, 127, 7));

  // Entries are numbered from the first-entry index.
  f = fixtures::TgaColourMapped(2, 1, {{1, 2, 3}, {4, 5, 6}}, {10, 11}, false);
  f.firstEntry = 10;
  r = Read(f);
  EXPECT_THAT(r.image.pixels, ElementsAre(1, 2, 3, 4, 5, 6));
}

}  // namespace
}  // namespace kelvane
