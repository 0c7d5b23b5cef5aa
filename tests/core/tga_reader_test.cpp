#include "textures/tga_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "fixtures/texture_writer.h"
#include "platform/notices.h"
#include "texture_test_support.h"

namespace kelvane {
namespace {

using fixtures::Picture;
using fixtures::Rgb8;
using fixtures::Rgba8;
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

const std::string kTypeText =
    "Couldn't load \"dir/t.tga\". Only 256 colour, 24 bit and 32bit TGA supported.";
const std::string kMapText = "Couldn't load \"dir/t.tga\". Colormapped TGA files not supported.";
const std::string kShortText = "Couldn't read file \"dir/t.tga\".";

TEST_F(TgaReaderTest, TrueColourRowsEndBottomUpInEitherStorageOrder) {
  // Stored B, G, R = (1, 2, 3) then (4, 5, 6).
  TgaFixture f;
  f.width = 1;
  f.height = 2;
  f.texels = {std::byte{1}, std::byte{2}, std::byte{3}, std::byte{4}, std::byte{5}, std::byte{6}};
  auto r = Read(f);
  ASSERT_EQ(r.kind, Kind::kImage);
  EXPECT_THAT(r.image.pixels, ElementsAre(3, 2, 1, 6, 5, 4));
  f.descriptor = 0x20;
  r = Read(f);
  EXPECT_THAT(r.image.pixels, ElementsAre(6, 5, 4, 3, 2, 1));

  // Odd heights keep the middle row.
  const Picture<Rgba8> p{2, 3, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}, {5, 0, 0}, {6, 0, 0}}};
  for (bool topDown : {false, true}) {
    r = Read(fixtures::TgaTrueColour(p, 24, topDown));
    EXPECT_THAT(r.image.pixels, ElementsAre(5, 0, 0, 6, 0, 0, 3, 0, 0, 4, 0, 0, 1, 0, 0, 2, 0, 0));
  }
  EXPECT_TRUE(notifier.notices.empty());
}

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

TEST_F(TgaReaderTest, HeadersItCannotReadAreRefusedWithTheirMessage) {
  const TgaFixture trueColour = fixtures::TgaTrueColour({1, 1, {{1, 1, 1}}}, 24, false);
  const TgaFixture mapped = fixtures::TgaColourMapped(1, 1, {{1, 2, 3}}, {0}, false);
  struct Case {
    const char* what;
    TgaFixture f;
    std::string message;
  };
  std::vector<Case> cases{{"type before map", trueColour, kTypeText},
                          {"map before depth", trueColour, kMapText},
                          {"8-bit true colour", trueColour, kTypeText},
                          {"index below the first entry", mapped, kShortText},
                          {"mapped type without a map", mapped, kMapText}};
  cases[0].f.imageType = 10;  // run-length encoded
  cases[0].f.colourMapType = 5;
  cases[1].f.colourMapType = 5;
  cases[1].f.depth = 15;
  cases[2].f.depth = 8;
  cases[2].f.texels = {std::byte{0}};
  cases[3].f.firstEntry = 5;
  cases[3].f.texels = {std::byte{4}};
  cases[4].f.colourMapType = 0;
  cases[4].f.colourMap.clear();
  for (const Case& c : cases) {
    notifier.notices.clear();
    EXPECT_EQ(Read(c.f).kind, Kind::kFailed) << c.what;
    EXPECT_EQ(Message(), c.message) << c.what;
  }
  EXPECT_EQ(notifier.notices[0].caption, "TGA File Error");
}

}  // namespace
}  // namespace kelvane
