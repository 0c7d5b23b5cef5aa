#include "cli.h"

#include <CLI/CLI.hpp>
#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "assets/wine_paths.h"
#include "info_command.h"
#include "traincar_info.h"
#include "texture_command.h"

#ifndef KELVANE_VERSION
#define KELVANE_VERSION "0"
#endif

namespace kelvane {

namespace {

// Checked by hand rather than through the parser's needs/excludes, which
// would spread each option's help over several lines.
void CheckTextureOptions(const CLI::Option& texture, std::initializer_list<const CLI::Option*> with,
                         const CLI::Option& info) {
  if (texture.count() > 0 && info.count() > 0) throw CLI::ExcludesError("--texture", "--info");
  for (const CLI::Option* option : with) {
    if (option->count() > 0 && texture.count() == 0) {
      throw CLI::RequiresError(option->get_name(), "--texture");
    }
  }
  if (texture.count() > 0 && (*with.begin())->count() == 0) {
    throw CLI::RequiresError("--texture", "-o");
  }
}

}  // namespace

std::optional<int> RunCommandLine(int argc, char** argv, ViewerArguments* viewer) {
  CLI::App app{"Kelvane: a viewer for Velmora meshes and rolling-stock assets.", "kelvane"};
  app.set_version_flag("--version", std::string("kelvane ") + KELVANE_VERSION,
                       "Print the version and exit");
  app.set_help_flag("-h,--help", "Print this help and exit");

  std::vector<std::string> paths;
  InfoOptions info;
  std::string infoPath;
  auto* infoOption =
      app.add_option("--info", infoPath,
                     "Print a JSON description of a mesh file or a traincar (folder or config.txt)")
          ->type_name("PATH");
  app.add_flag("--geometry", info.geometry,
               "With --info: add every object's positions, uvs, normals and faces")
      ->needs(infoOption);
  TextureOptions texture;
  std::string texturePath, outputPath, alphaImagePath;
  std::int32_t constantAlpha = 0;
  auto* textureOption =
      app.add_option("--texture", texturePath, "Decode an image as the loader does; write a PNG")
          ->type_name("IMAGE");
  auto* outputOption = app.add_option("-o,--output", outputPath, "With --texture: the PNG to write")
                           ->type_name("OUT.png");
  auto* constantOption =
      app.add_option("--constant-alpha", constantAlpha, "With --texture: every alpha is A, 0..255")
          ->type_name("A");
  auto* kindOption =
      app.add_option("--kind", texture.kind, "With --texture: the material kind code (default 0)")
          ->type_name("K");
  auto* alphaImageOption =
      app.add_option("--alpha-image", alphaImagePath,
                     "With --texture: load this BMP or TGA first as the alpha image")
          ->type_name("FILE");
  std::string settingsFile;
  app.add_option("--settings", settingsFile,
                 "Read and write the viewer's settings in FILE instead of the default place")
      ->type_name("FILE");
  app.add_option("file", paths, "Mesh file (.im, .pm) or asset folder to open in the viewer")
      ->type_name("FILE|FOLDER");

  try {
    app.parse(argc, argv);
    CheckTextureOptions(*textureOption,
                        {outputOption, constantOption, kindOption, alphaImageOption}, *infoOption);
    if (constantOption->count() > 0) {
      if (kindOption->count() > 0) throw CLI::ExcludesError("--constant-alpha", "--kind");
      if (constantAlpha < 0 || constantAlpha > 255) {
        throw CLI::ValidationError("--constant-alpha", "A must lie in 0..255");
      }
    }
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string message = e.what();
    for (char& c : message) {
      if (c == '\n') c = ' ';
    }
    std::cerr << "kelvane: " << message << " (see kelvane --help)\n";
    return 2;
  }

  if (textureOption->count() > 0) {
    if (!paths.empty()) {
      std::cerr << "kelvane: --texture takes one image; unexpected " << paths.front() << "\n";
      return 2;
    }
    texture.image = texturePath;
    texture.output = outputPath;
    if (constantOption->count() > 0) texture.constantAlpha = constantAlpha;
    if (!alphaImagePath.empty()) texture.alphaImage = alphaImagePath;
    return RunTexture(texture, std::cerr);
  }
  if (!infoPath.empty() || infoOption->count() > 0) {
    if (!paths.empty()) {
      std::cerr << "kelvane: --info takes one path; unexpected " << paths.front() << "\n";
      return 2;
    }
    // The simulator's OpenWith macro passes Windows paths.
    info.path = HostPathFromArgument(WinePrefix::FromEnvironment(), infoPath);
    if (IsTraincarPath(info.path)) return RunTraincarInfo(info.path, std::cout);
    return RunInfo(info, std::cout);
  }
  if (viewer) {
    viewer->files = paths;
    viewer->settingsFile = settingsFile;
  }
  return std::nullopt;
}

}  // namespace kelvane
