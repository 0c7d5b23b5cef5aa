#include "cli.h"

#include <unistd.h>
#include <CLI/CLI.hpp>
#include <cstdint>
#include <initializer_list>
#include <iostream>
#include <string>
#include <vector>

#include "build_info.h"
#include "check_command.h"
#include "export_command.h"
#include "info_command.h"
#include "platform/wine_paths.h"
#include "render_command.h"
#include "texture_command.h"
#include "thumbnail_command.h"
#include "traincar_info.h"

namespace kelvane {

namespace {

// Checked by hand rather than through the parser's needs/excludes, which
// would spread each option's help over several lines.
void CheckTextureOptions(const CLI::Option& texture, std::initializer_list<const CLI::Option*> with,
                         const CLI::Option& info, const CLI::Option& render,
                         const CLI::Option& output) {
  if (texture.count() > 0 && info.count() > 0) throw CLI::ExcludesError("--texture", "--info");
  for (const CLI::Option* option : with) {
    if (option->count() > 0 && texture.count() == 0) {
      throw CLI::RequiresError(option->get_name(), "--texture");
    }
  }
  if (texture.count() > 0 && output.count() == 0) throw CLI::RequiresError("--texture", "-o");
  if (render.count() > 0 && output.count() == 0) throw CLI::RequiresError("--render", "-o");
  if (output.count() > 0 && texture.count() == 0 && render.count() == 0)
    throw CLI::RequiresError("-o", "--texture or --render");
  if (render.count() > 0 && (texture.count() > 0 || info.count() > 0))
    throw CLI::ExcludesError("--render", texture.count() > 0 ? "--texture" : "--info");
}

float ParseFloat(const std::string& text, const std::string& option) {
  try {
    std::size_t used = 0;
    const float v = std::stof(text, &used);
    if (used == text.size()) return v;
  } catch (const std::exception&) {
  }
  throw CLI::ValidationError(option, "not a number: " + text);
}

void ParsePair(const std::string& text, const std::string& option, std::optional<float>& a,
               std::optional<float>& b) {
  const std::size_t comma = text.find(',');
  if (comma == std::string::npos) throw CLI::ValidationError(option, "expected two numbers A,B");
  a = ParseFloat(text.substr(0, comma), option);
  b = ParseFloat(text.substr(comma + 1), option);
}

void ParseSize(const std::string& text, RenderOptions& render) {
  const std::size_t x = text.find_first_of("xX");
  if (x == std::string::npos) throw CLI::ValidationError("--size", "expected WxH");
  try {
    std::size_t usedW = 0, usedH = 0;
    const std::string w = text.substr(0, x), h = text.substr(x + 1);
    render.width = std::stoi(w, &usedW);
    render.height = std::stoi(h, &usedH);
    if (usedW == w.size() && usedH == h.size() && render.width > 0 && render.height > 0) return;
  } catch (const std::exception&) {
  }
  throw CLI::ValidationError("--size", "expected WxH with positive whole numbers: " + text);
}

// 0xBBGGRR in hexadecimal, or the decimal value the settings file holds.
std::int32_t ParseColour(const std::string& text) {
  try {
    std::size_t used = 0;
    const bool hex = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0;
    const unsigned long v = std::stoul(hex ? text.substr(2) : text, &used, hex ? 16 : 10);
    if (used == text.size() - (hex ? 2 : 0) && v <= 0xFFFFFFul) return static_cast<std::int32_t>(v);
  } catch (const std::exception&) {
  }
  throw CLI::ValidationError("--background", "expected 0xBBGGRR: " + text);
}

// --export takes its path, -o and nothing else.
int RunExportCommand(ExportOptions& options, const std::string& path, const std::string& output,
                     const std::vector<std::string>& extra, const CLI::App& app) {
  for (const CLI::Option* option : app.get_options()) {
    const std::string name = option->get_name();
    if (option->count() > 0 && name != "--export" && name != "--output" && name != "file") {
      std::cerr << "kelvane: --export takes -o only; unexpected " << name << "\n";
      return 2;
    }
  }
  if (!extra.empty() || output.empty()) {
    std::cerr << "kelvane: --export needs one path and -o OUT.glb or OUT.gltf\n";
    return 2;
  }
  options.path = HostPathFromArgument(WinePrefix::FromEnvironment(), path);
  options.output = output;
  return RunExport(options, std::cerr);
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
  auto* outputOption =
      app.add_option("-o,--output", outputPath,
                     "With --texture: the PNG to write; with --render: the .png or .jpg; with "
                     "--export: the .glb or .gltf")
          ->type_name("OUT");
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
  auto* settingsOption =
      app.add_option("--settings", settingsFile,
                     "Read and write the viewer's settings in FILE instead of the default place; "
                     "with --render: draw with the background, axes, units, marker size, bump "
                     "strength and track of FILE")
          ->type_name("FILE");
  RenderOptions render;
  std::string renderPath, sizeText, rotText, panText, backgroundText;
  auto* renderOption =
      app.add_option("--render", renderPath,
                     "Draw one frame of a mesh file or traincar without a window (needs -o)")
          ->type_name("PATH");
  std::vector<CLI::Option*> renderOnly = {
      app.add_option("--size", sizeText, "With --render: picture size (default 240x180)")
          ->type_name("WxH"),
      app.add_option("--rot", rotText, "With --render: view rotation in degrees")
          ->type_name("RX,RY"),
      app.add_option("--zoom", render.zoom, "With --render: view scale instead of the framing")
          ->type_name("Z"),
      app.add_option("--pan", panText, "With --render: pan offsets")->type_name("X,Y"),
      app.add_flag("--wireframe", render.wireframe, "With --render: the grey wireframe view"),
      app.add_flag("--attachments", render.attachments,
                   "With --render: wireframe with attachment markers, framed to the points"),
      app.add_option("--locate-texture", render.locateTexture,
                     "With --render: objects using this texture in full, the rest as wireframe")
          ->type_name("NAME"),
      app.add_option("--bump-strength", render.bumpStrength,
                     "With --render: bump pass weight, 0..1 (default 0.2)")
          ->type_name("S"),
      app.add_flag("--bumps-only", render.bumpsOnly, "With --render: only the bump pass"),
      app.add_flag("--no-axes", render.noAxes, "With --render: no axes"),
      app.add_flag("--feet", render.feet, "With --render: the ruler in feet"),
      app.add_flag("--timing", render.timing,
                   "With --render: print the milliseconds from opening to the drawn frame and the "
                   "peak memory"),
      app.add_option("--background", backgroundText,
                     "With --render: background colour 0xBBGGRR (0: grey)")
          ->type_name("COLOUR"),
      app.add_option("--gauge", render.gauge, "With --render: rail centres in metres (traincar)")
          ->type_name("METRES"),
      app.add_option("--tie-spacing", render.tieSpacing,
                     "With --render: sleeper spacing in millimetres (traincar)")
          ->type_name("MM")};
  std::vector<std::string> thumbnailArgs;
  auto* thumbnailOption =
      app.add_option("--thumbnail", thumbnailArgs,
                     "Write a PNG preview of a mesh or texture, at most SIZE pixels on its "
                     "longer side (the desktop's thumbnailer)")
          ->expected(3)
          ->type_name("IN OUT SIZE");
  std::vector<std::string> checkPaths;
  CheckCommandOptions check;
  auto* checkOption =
      app.add_option("--check", checkPaths,
                     "Report every problem of the meshes and traincars in files and folders")
          ->type_name("PATH...");
  std::vector<CLI::Option*> checkOnly = {
      app.add_flag("--json", check.json, "With --check: one JSON document instead of lines"),
      app.add_option("--jobs", check.jobs, "With --check: files checked at once (default: cores)")
          ->type_name("N")
          ->check(CLI::PositiveNumber),
      app.add_flag("--resolve", check.resolve,
                   "With --check: fetch parts through the simulator's utility as the viewer "
                   "does")};
  ExportOptions exportOptions;
  std::string exportPath;
  auto* exportOption =
      app.add_option("--export", exportPath,
                     "Write a mesh file or traincar as glTF 2.0 for other programs (needs -o)")
          ->type_name("PATH");
  app.add_option("file", paths, "Mesh file (.im, .pm) or asset folder to open in the viewer")
      ->type_name("FILE|FOLDER");

  try {
    app.parse(argc, argv);
    if (exportOption->count() > 0)
      return RunExportCommand(exportOptions, exportPath, outputPath, paths, app);
    CheckTextureOptions(*textureOption, {constantOption, kindOption, alphaImageOption}, *infoOption,
                        *renderOption, *outputOption);
    for (const CLI::Option* option : renderOnly) {
      if (option->count() > 0 && renderOption->count() == 0)
        throw CLI::RequiresError(option->get_name(), "--render");
    }
    for (const CLI::Option* option : checkOnly) {
      if (option->count() > 0 && checkOption->count() == 0)
        throw CLI::RequiresError(option->get_name(), "--check");
    }
    if (checkOption->count() > 0) {
      for (const CLI::Option* other : {infoOption, renderOption, textureOption}) {
        if (other->count() > 0) throw CLI::ExcludesError("--check", other->get_name());
      }
    }
    if (settingsOption->count() > 0) {
      for (const CLI::Option* other : {infoOption, textureOption, checkOption, thumbnailOption}) {
        if (other->count() > 0) throw CLI::ExcludesError("--settings", other->get_name());
      }
    }
    if (!sizeText.empty()) ParseSize(sizeText, render);
    if (!rotText.empty()) ParsePair(rotText, "--rot", render.rotX, render.rotY);
    if (!panText.empty()) ParsePair(panText, "--pan", render.panX, render.panY);
    if (!backgroundText.empty()) render.background = ParseColour(backgroundText);
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

  if (thumbnailOption->count() > 0) {
    if (!paths.empty() || renderOption->count() > 0 || textureOption->count() > 0 ||
        infoOption->count() > 0 || outputOption->count() > 0) {
      std::cerr << "kelvane: --thumbnail takes its input, output and size only\n";
      return 2;
    }
    ThumbnailOptions thumbnail;
    thumbnail.input = thumbnailArgs[0];
    thumbnail.output = thumbnailArgs[1];
    try {
      std::size_t used = 0;
      thumbnail.size = std::stoi(thumbnailArgs[2], &used);
      if (used != thumbnailArgs[2].size()) thumbnail.size = 0;
    } catch (const std::exception&) {
      thumbnail.size = 0;
    }
    return RunThumbnail(thumbnail, std::cerr);
  }
  if (checkOption->count() > 0) {
    const WinePrefix wine = WinePrefix::FromEnvironment();
    for (const auto& argument : checkPaths) {
      const auto path = HostPathFromArgument(wine, argument);
      std::error_code ec;
      if (!std::filesystem::exists(path, ec)) {
        std::cerr << "kelvane: --check: no such file or folder: " << argument << "\n";
        return 2;
      }
      check.paths.push_back(path);
    }
    check.progress = isatty(STDERR_FILENO) != 0;
    return RunCheck(check, std::cout, std::cerr);
  }
  if (renderOption->count() > 0) {
    if (!paths.empty()) {
      std::cerr << "kelvane: --render takes one path; unexpected " << paths.front() << "\n";
      return 2;
    }
    render.path = HostPathFromArgument(WinePrefix::FromEnvironment(), renderPath);
    render.output = outputPath;
    render.settingsFile = settingsFile;
    return RunRender(render, std::cerr);
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
