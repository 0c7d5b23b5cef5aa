// kelvane-sample: writes the bundled sample assets, or a large mesh for
// speed measurements.

#include <CLI/CLI.hpp>
#include <iostream>

#include "fixtures/asset_writer.h"
#include "fixtures/content_tree.h"
#include "fixtures/mesh_writer.h"
#include "fixtures/sample_assets.h"
#include "fixtures/track_textures.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes Kelvane's sample assets and test meshes.", "kelvane-sample"};
  std::string out, large, trackTextures, utility = KELVANE_STANDIN;
  std::size_t vertices = 2'000'000, faces = 1'700'000;
  app.add_option("--out", out, "Folder to write the sample assets into")->type_name("FOLDER");
  app.add_option("--utility", utility, "The stand-in simulator utility the sample runs")
      ->type_name("PROGRAM")
      ->capture_default_str();
  app.add_option("--large", large, "Write a large mesh file for speed measurements")
      ->type_name("FILE");
  app.add_option("--track-textures", trackTextures,
                 "Write the ballast and ground pictures of the track into a folder")
      ->type_name("FOLDER");
  std::string tree;
  kelvane::fixtures::ContentTreeShape treeShape;
  auto* treeOption =
      app.add_option("--tree", tree, "Write a content tree of textured meshes and traincars")
          ->type_name("FOLDER");
  app.add_option("--meshes", treeShape.meshes, "Meshes of the tree")
      ->capture_default_str()
      ->needs(treeOption);
  app.add_option("--textures", treeShape.textures, "Textures of the tree")
      ->capture_default_str()
      ->needs(treeOption);
  app.add_option("--texture-side", treeShape.textureSide, "Width and height of each texture")
      ->capture_default_str()
      ->needs(treeOption);
  app.add_flag("--faults", treeShape.faults, "Add one faulty asset of each kind to the tree")
      ->needs(treeOption);
  std::string largeTraincar;
  std::size_t entries = 1000;
  auto* traincarOption =
      app.add_option("--traincar", largeTraincar,
                     "Write a traincar with many mesh-table entries for speed measurements")
          ->type_name("FOLDER");
  app.add_option("--entries", entries, "Mesh-table entries of that traincar")
      ->capture_default_str()
      ->needs(traincarOption);
  app.add_option("--vertices", vertices, "Vertices of the large mesh")->capture_default_str();
  app.add_option("--faces", faces, "Faces of the large mesh")->capture_default_str();
  try {
    app.parse(argc, argv);
    if (out.empty() && large.empty() && trackTextures.empty() && tree.empty() &&
        largeTraincar.empty())
      throw CLI::RequiredError("--out, --large, --track-textures, --tree or --traincar");
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }
  try {
    if (!out.empty()) {
      for (const auto& file : kelvane::fixtures::WriteSampleAssets(out)) {
        std::cout << "wrote " << file.string() << "\n";
      }
      const auto traincar = kelvane::fixtures::WriteSampleTraincar(out, utility);
      for (const auto& file : traincar.files) {
        std::cout << "wrote " << file.string() << "\n";
      }
    }
    if (!trackTextures.empty()) {
      for (const auto& file : kelvane::fixtures::WriteTrackTextures(trackTextures))
        std::cout << "wrote " << file.string() << "\n";
    }
    if (!tree.empty()) {
      const auto written = kelvane::fixtures::WriteContentTree(tree, treeShape);
      std::cout << "wrote " << written.files.size() << " files under " << tree << "\n";
      for (const auto& fault : written.faults)
        std::cout << "fault " << fault.kind << " " << fault.file << "\n";
    }
    if (!largeTraincar.empty()) {
      const auto written = kelvane::fixtures::WriteLargeTraincar(largeTraincar, entries, utility);
      for (const auto& file : written.files)
        std::cout << "wrote " << file.string() << "\n";
    }
    if (!large.empty()) {
      kelvane::fixtures::WriteFile(large, kelvane::fixtures::LargeMesh(vertices, faces));
      std::cout << "wrote " << large << "\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "kelvane-sample: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
