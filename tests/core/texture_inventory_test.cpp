#include "mesh/texture_inventory.h"

#include <gtest/gtest.h>

#include "fixtures/byte_writer.h"
#include "fixtures/texture_writer.h"
#include "support/temp_dir.h"
#include "textures/texture_loader.h"

namespace kelvane {
namespace {

using fixtures::Picture;
using fixtures::Rgb8;

TEST(TextureInventoryTest, EachFileIsOneRowWithWhereItsAlphaCameFrom) {
  testing::TempDir dir;
  const Picture<Rgb8> picture{4, 2, std::vector<Rgb8>(8, {1, 2, 3})};
  for (const char* name : {"c.bmp", "k.bmp", "a.bmp", "d.bmp"})
    fixtures::WriteFile(dir / name, fixtures::WriteBmp(fixtures::Bmp24(picture, false)));

  TextureLoaderState state;
  RecordingNotifier notices;
  DecodeOnlyUploader decoder(state);
  SizeRecordingUploader uploads(decoder);
  TextureLoader inner(state, notices, uploads);
  RecordingTextureLoader loader(inner, uploads, notices);
  std::uint32_t c = 0, k = 0, held = 0, d = 0, gone = 0, again = 0;
  ASSERT_TRUE(loader.LoadTexture(dir / "c.bmp", c, false, 0));
  ASSERT_TRUE(loader.LoadTexture(dir / "k.bmp", k, true, 128));
  ASSERT_TRUE(loader.LoadAlphaTexture(dir / "a.bmp", held, false, 0));
  ASSERT_TRUE(loader.LoadTexture(dir / "d.bmp", d, false, 0));
  EXPECT_FALSE(loader.LoadTexture(dir / "gone.bmp", gone, false, 0));
  ASSERT_TRUE(loader.LoadTexture(dir / "c.bmp", again, true, 128));

  std::vector<std::string> rows;
  for (const TextureRecord& r : loader.records())
    rows.push_back(r.file.filename().string() + " " + r.format + " " + r.alphaSource + " " +
                   std::to_string(r.uploadBytes) + " " + std::to_string(r.names.size()));
  EXPECT_EQ(rows, (std::vector<std::string>{"c.bmp bmp none 24 2", "k.bmp bmp constant 44 1",
                                            "d.bmp bmp alpha image 44 1"}))
      << "the alpha image is no texture of its own; a file loaded twice is one row";
  ASSERT_EQ(loader.failures().size(), 1u);
  EXPECT_EQ(loader.failures()[0].file, dir / "gone.bmp");
  EXPECT_EQ(loader.failures()[0].notices.size(), 1u) << "the message its load showed";
}

}  // namespace
}  // namespace kelvane
