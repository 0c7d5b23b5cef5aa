// Writes the seed corpus of every fuzz target from the fixture writer.

#include <fstream>
#include <iostream>
#include <string>

#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"

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
  return 0;
}
