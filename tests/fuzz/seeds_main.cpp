// Writes the seed corpus of every fuzz target from the fixture writer,
// with every file of the malformed catalogue added to its target's corpus.

#include <fstream>
#include <iostream>
#include <string>

#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/texture_writer.h"
#include "malformed/catalogue.h"

namespace fx = kelvane::fixtures;

namespace {

std::vector<std::vector<std::byte>> MeshSeeds() {
  std::vector<std::vector<std::byte>> seeds{fx::SampleWagonMesh()};
  for (int version : {100, 101, 102, 200, 201}) {
    fx::MeshWriter w;
    w.Info(version == 201 ? 104 : 101);
    fx::Geometry g = fx::Box("box", {0, 0, 0}, {1, 2, 3}, version);
    g.extraVectorsFlag = 1;
    fx::MaterialRecord m{.name = "m.tbumpenv"};
    m.textures = {{1, "a.tga", 0}, {8, "b.tga", 0}, {9, "c.tga", 1}};
    w.BeginChnk(0, version);
    w.Material(m, g);
    w.EndChnk();
    fx::Bone root{.name = "box", .position = {0, 0, 1}};
    root.children.push_back({.name = "kid", .position = {1, 0, 0}});
    w.Skeleton(root);
    fx::Influence a{.bone = "box"}, b{.bone = "kid", .parent = "box", .offset = {0, 1, 0}};
    b.groups = {{0, {{1, {1, 1, 1}}, {2, {0, 0, 1}}}}};
    w.Influences({a, b});
    w.Attachments({{"a.bog0", fx::kIdentity, {1, 2, 3}}});
    w.Raw("PMIN", std::vector<std::byte>(16, std::byte{3}));
    seeds.push_back(w.Finish());
  }
  seeds.push_back(fx::CompressedMesh(seeds[1]));
  return seeds;
}

std::vector<std::string> ConfigSeeds() {
  return {
      "kuid <kuid:1234:100>\nkind traincar\nusername \"Goods wagon\"\nbuild 25\n"
      "mesh-table\n{\n  default\n  {\n    mesh \"wagon.im\"\n    auto-create 1\n  }\n"
      "  shadow\n  {\n    mesh wagon_shadow.im }\n}\nbogey <kuid:1234:200>\n",
      "kuid 4321\r\nkind\tbogey\r\nmesh-table {\r\n  default {\r\n    mesh \"b.pm\"\r\n"
      "    att \"a.bog0\"\r\n    att-parent \"body\"\r\n  }\r\n}\r\n",
      "}}}\n{{{\nusername \"a {b\"\nkind traincar\n",
  };
}

fx::Picture<fx::Rgba8> Gradient(int width, int height) {
  fx::Picture<fx::Rgba8> p{width, height, {}};
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      p.texels.push_back({static_cast<std::uint8_t>(x * 40), static_cast<std::uint8_t>(y * 40),
                          static_cast<std::uint8_t>(x ^ y), static_cast<std::uint8_t>(x * y)});
    }
  }
  return p;
}

std::vector<std::vector<std::byte>> TextureSeeds() {
  std::vector<std::vector<std::byte>> seeds;
  const auto picture = Gradient(6, 6);
  fx::Picture<fx::Rgb8> twoColours{8, 8, {}};
  for (int i = 0; i < 64; ++i)
    twoColours.texels.push_back(i % 3 ? fx::Rgb8{248, 0, 0} : fx::Rgb8{0, 0, 248});
  const auto dxt1 = fx::EncodeTwoColourDxt1(twoColours);
  std::vector<std::byte> dxt35;
  for (int b = 0; b < 4; ++b) {
    const fx::BlockIndices alpha{0, 1, 2, 3, 4, 5, 6, 7, 15, 14, 13, 12, 3, 2, 1, 0};
    const fx::BlockIndices colour{0, 1, 2, 3, 3, 2, 1, 0, 0, 0, 1, 1, 2, 2, 3, 3};
    const auto block = b % 2 ? fx::Dxt5Block(255, 0, alpha, 0xF800, 0x001F, colour)
                             : fx::Dxt3Block(alpha, 0x07E0, 0xF81F, colour);
    dxt35.insert(dxt35.end(), block.begin(), block.end());
  }
  for (std::int32_t format = 0; format <= 12; ++format) {
    fx::TextureFixture f;
    f.format = format;
    f.version = 259 + format % 5;
    f.alphaMode = format % 3;
    if (format < 10) {
      f.width = f.height = 6;
      f.chunks = {fx::BgraPayload(picture)};
    } else {
      f.width = f.height = 8;
      f.chunks = {format == 10 ? dxt1 : dxt35};
    }
    seeds.push_back(fx::WriteTextureFile(f));
    if (format == 10 || format == 3) {
      f.countFactor1 = 3;  // three chunks; only the last is decoded
      f.chunks.insert(f.chunks.begin(), 2, std::vector<std::byte>(8, std::byte{1}));
      seeds.push_back(fx::WriteTextureFile(f));
    }
  }
  // DXT3 with its own alpha but only the top half of its block rows: the
  // rows it lacks stay zero, also when the kind forces opacity.
  fx::TextureFixture shortDxt3{
      .version = 260, .format = 11, .width = 8, .height = 16, .alphaMode = 2};
  shortDxt3.chunks = {dxt35};
  seeds.push_back(fx::WriteTextureFile(shortDxt3));
  return seeds;
}

std::vector<std::vector<std::byte>> TgaSeeds() {
  const auto picture = Gradient(5, 3);
  std::vector<std::vector<std::byte>> seeds;
  for (bool topDown : {false, true}) {
    seeds.push_back(fx::WriteTga(fx::TgaTrueColour(picture, 24, topDown)));
    seeds.push_back(fx::WriteTga(fx::TgaTrueColour(picture, 32, topDown)));
    seeds.push_back(fx::WriteTga(fx::Tga16(2, 2, {0x7FFF, 0x8000, 0x1234, 0x4321}, topDown)));
    seeds.push_back(fx::WriteTga(
        fx::TgaColourMapped(3, 2, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, {0, 1, 2, 2, 1, 0}, topDown)));
  }
  return seeds;
}

std::vector<std::vector<std::byte>> BmpSeeds() {
  fx::Picture<fx::Rgb8> picture{5, 3, {}};
  for (int i = 0; i < 15; ++i)
    picture.texels.push_back({static_cast<std::uint8_t>(i * 10), 20, 30});
  std::vector<std::vector<std::byte>> seeds;
  for (bool topDown : {false, true}) {
    seeds.push_back(fx::WriteBmp(fx::Bmp24(picture, topDown)));
    seeds.push_back(fx::WriteBmp(
        fx::Bmp8(4, 2, {{1, 2, 3}, {9, 8, 7}}, {0, 1, 1, 0, 1, 1, 0, 0}, topDown, true)));
    seeds.push_back(
        fx::WriteBmp(fx::Bmp8(4, 2, {}, {0, 50, 100, 150, 200, 250, 1, 2}, topDown, false)));
  }
  // The core header and the V5 header that current tools write.
  for (std::uint32_t header : {12u, 124u}) {
    fx::BmpFixture eight =
        fx::Bmp8(4, 2, {{1, 2, 3}, {9, 8, 7}}, {0, 1, 1, 0, 1, 1, 0, 0}, false, header != 12);
    eight.infoHeaderBytes = header;
    seeds.push_back(fx::WriteBmp(eight));
    fx::BmpFixture full = fx::Bmp24(picture, false);
    full.infoHeaderBytes = header;
    seeds.push_back(fx::WriteBmp(full));
  }
  return seeds;
}

std::vector<std::vector<std::byte>> JpegSeeds() {
  std::vector<std::vector<std::byte>> seeds;
  for (bool progressive : {false, true}) {
    std::vector<std::uint8_t> rgb, grey;
    for (int i = 0; i < 12 * 9; ++i) {
      rgb.insert(rgb.end(), {static_cast<std::uint8_t>(i * 7), static_cast<std::uint8_t>(i), 99});
      grey.push_back(static_cast<std::uint8_t>(i * 2));
    }
    seeds.push_back(fx::EncodeJpeg(12, 9, 3, rgb, 75, progressive));
    seeds.push_back(fx::EncodeJpeg(12, 9, 1, grey, 50, progressive));
    seeds.push_back(fx::EncodeJpeg(1, 1, 3, {10, 20, 30}, 90, progressive));
  }
  return seeds;
}

// An option byte choosing the material, then the description file.
std::vector<std::string> DescriptionSeeds() {
  return {
      std::string("\x00") + "primary=colour.tga\r\nalpha=Alpha.BMP\r\n",
      std::string("\x2b") + "Primary=SUB\\Inner.jpg\nalpha=sub/inner.jpg\n",
      std::string("\x7f") + "; comment\rprimary=shine.texture\ralpha=\r",
      std::string("\x13") + "alpha=colour.tga\nprimary=colour.tga\nprimary=alpha.bmp\n",
      std::string("\x41") + "primary=missing.tga\n",
  };
}

// Longest line and piece seed, then the output.
std::vector<std::string> OutputSeeds() {
  return {
      std::string("\x3f\x01") + "a\r\nb\nccc",
      std::string("\x05\x02") + "<kuid:1:2> C:\\content\\wagon\r\nOK\r\n",
      std::string("\x10\x03") + std::string("x\0\0y\r\r\n\n\r", 9) + "tail",
  };
}

void Write(const std::filesystem::path& path, const void* data, std::size_t size) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary)
      .write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: fuzz-seeds FOLDER\n";
    return 2;
  }
  const std::filesystem::path root = argv[1];
  int n = 0;
  for (const auto& seed : MeshSeeds()) {
    for (const char* target : {"mesh", "attachment"}) {
      Write(root / target / ("seed" + std::to_string(n)), seed.data(), seed.size());
    }
    ++n;
  }
  const std::string settings =
      "[MRU]\nlastfile=C:\\Trains\\loco.im\nthumbnail=\"shot.jpg\"\n[Options]\n"
      "BGroundColour=0x987427\nShowAxes=1\nbumpalpha=0.2\n[Track]\nGauge=1.44\nTieSpacing=800\n";
  Write(root / "settings" / "seed0", settings.data(), settings.size());
  n = 0;
  for (const auto& seed : ConfigSeeds()) {
    Write(root / "config" / ("seed" + std::to_string(n++)), seed.data(), seed.size());
  }
  const auto writeAll = [&](const char* target, const auto& seeds) {
    int k = 0;
    for (const auto& seed : seeds)
      Write(root / target / ("seed" + std::to_string(k++)), seed.data(), seed.size());
  };
  writeAll("texture", TextureSeeds());
  writeAll("tga", TgaSeeds());
  writeAll("bmp", BmpSeeds());
  writeAll("jpeg", JpegSeeds());
  writeAll("description", DescriptionSeeds());
  writeAll("output", OutputSeeds());
  for (const auto& c : kelvane::malformed::Catalogue()) {
    const std::string file = "malformed-" + c.name;
    Write(root / std::string(kelvane::malformed::FormatName(c.format)) / file, c.bytes.data(),
          c.bytes.size());
    if (c.format == kelvane::malformed::Format::kMesh) {
      Write(root / "attachment" / file, c.bytes.data(), c.bytes.size());
    }
  }
  return 0;
}
