#include "cli.h"

#include <unistd.h>
#include <CLI/CLI.hpp>
#include <algorithm>
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

// Where every option lands, and the options the modes ask about.
struct CommandLine {
  CLI::App app{"Kelvane: a viewer for Velmora meshes and rolling-stock assets.", "kelvane"};
  std::vector<std::string> paths;
  InfoOptions info;
  std::string infoPath;
  TextureOptions texture;
  std::string texturePath, outputPath, alphaImagePath;
  std::int32_t constantAlpha = 0;
  std::string settingsFile;
  RenderOptions render;
  std::string renderPath, sizeText, rotText, panText, backgroundText;
  std::vector<std::string> thumbnailArgs;
  std::vector<std::string> checkPaths;
  CheckCommandOptions check;
  ExportOptions exportOptions;
  std::string exportPath;
  CLI::Option *exportOption = nullptr, *trackOption = nullptr;
  CLI::Option *infoOption = nullptr, *textureOption = nullptr, *outputOption = nullptr;
  CLI::Option *constantOption = nullptr, *kindOption = nullptr, *alphaImageOption = nullptr;
  CLI::Option *settingsOption = nullptr, *renderOption = nullptr, *thumbnailOption = nullptr;
  CLI::Option* checkOption = nullptr;
  std::vector<CLI::Option*> renderOnly, checkOnly;
};

void AddInfoAndTextureOptions(CommandLine& c) {
  CLI::App& app = c.app;
  c.infoOption =
      app.add_option("--info", c.infoPath,
                     "Print a JSON description of a mesh file or a traincar (folder or config.txt)")
          ->type_name("PATH");
  app.add_flag("--geometry", c.info.geometry,
               "With --info: add every object's positions, uvs, normals and faces")
      ->needs(c.infoOption);
  c.textureOption =
      app.add_option("--texture", c.texturePath, "Decode an image as the loader does; write a PNG")
          ->type_name("IMAGE");
  c.outputOption =
      app.add_option("-o,--output", c.outputPath,
                     "With --texture: the PNG to write; with --render: the .png or .jpg; with "
                     "--export: the .glb or .gltf")
          ->type_name("OUT");
  c.constantOption = app.add_option("--constant-alpha", c.constantAlpha,
                                    "With --texture: every alpha is A, 0..255")
                         ->type_name("A");
  c.kindOption =
      app.add_option("--kind", c.texture.kind, "With --texture: the material kind code (default 0)")
          ->type_name("K");
  c.alphaImageOption =
      app.add_option("--alpha-image", c.alphaImagePath,
                     "With --texture: load this BMP or TGA first as the alpha image")
          ->type_name("FILE");
  c.settingsOption =
      app.add_option("--settings", c.settingsFile,
                     "Read and write the viewer's settings in FILE instead of the default place; "
                     "with --render: draw with the background, axes, units, marker size, bump "
                     "strength and track of FILE")
          ->type_name("FILE");
}

void AddRenderOptions(CommandLine& c) {
  CLI::App& app = c.app;
  RenderOptions& render = c.render;
  c.renderOption =
      app.add_option(
             "--render", c.renderPath,
             "Draw one frame of a mesh file, texture or traincar without a window (needs -o)")
          ->type_name("PATH");
  c.renderOnly = {
      app.add_option("--size", c.sizeText, "With --render: picture size (default 240x180)")
          ->type_name("WxH"),
      app.add_option("--rot", c.rotText, "With --render: view rotation in degrees")
          ->type_name("RX,RY"),
      app.add_option("--zoom", render.zoom, "With --render: view scale instead of the framing")
          ->type_name("Z"),
      app.add_option("--pan", c.panText, "With --render: pan offsets")->type_name("X,Y"),
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
      app.add_option("--background", c.backgroundText,
                     "With --render: background colour 0xBBGGRR (0: grey)")
          ->type_name("COLOUR"),
      app.add_option("--gauge", render.gauge,
                     "With --render or --export --track: rail centres in metres (traincar)")
          ->type_name("METRES"),
      app.add_option("--tie-spacing", render.tieSpacing,
                     "With --render or --export --track: sleeper spacing in millimetres "
                     "(traincar)")
          ->type_name("MM")};
}

void AddThumbnailAndCheckOptions(CommandLine& c) {
  CLI::App& app = c.app;
  c.thumbnailOption =
      app.add_option("--thumbnail", c.thumbnailArgs,
                     "Write a PNG preview of a mesh or texture, at most SIZE pixels on its "
                     "longer side (the desktop's thumbnailer)")
          ->expected(3)
          ->type_name("IN OUT SIZE");
  c.checkOption =
      app.add_option("--check", c.checkPaths,
                     "Report every problem of the meshes and traincars in files and folders")
          ->type_name("PATH...");
  c.checkOnly = {
      app.add_flag("--json", c.check.json, "With --check: one JSON document instead of lines"),
      app.add_option("--jobs", c.check.jobs, "With --check: files checked at once (default: cores)")
          ->type_name("N")
          ->check(CLI::PositiveNumber),
      app.add_flag("--resolve", c.check.resolve,
                   "With --check: fetch parts through the simulator's utility as the viewer "
                   "does"),
      app.add_option("--max-triangles", c.check.maxTriangles,
                     "With --check: report each mesh or traincar with more triangles as "
                     "over-budget")
          ->type_name("N")
          ->check(CLI::PositiveNumber),
      app.add_option("--max-texture-mb", c.check.maxTextureMb,
                     "With --check: report each mesh or traincar whose textures take more "
                     "megabytes (1024 x 1024 bytes) as uploaded, mipmaps included, as over-budget")
          ->type_name("M")
          ->check(CLI::PositiveNumber)};
  c.exportOption =
      app.add_option("--export", c.exportPath,
                     "Write a mesh file or traincar as glTF 2.0 for other programs (needs -o)")
          ->type_name("PATH");
  c.trackOption = app.add_flag("--track", c.exportOptions.track,
                               "With --export of a traincar: add the track it stands on (gauge "
                               "1.44 m and sleepers every 800 mm unless --gauge or --tie-spacing "
                               "say otherwise)");
}

void RequireFor(const std::vector<CLI::Option*>& options, const CLI::Option& mode) {
  for (const CLI::Option* option : options) {
    if (option->count() > 0 && mode.count() == 0)
      throw CLI::RequiresError(option->get_name(), mode.get_name());
  }
}

void Exclude(const CLI::Option& option, std::initializer_list<const CLI::Option*> others) {
  if (option.count() == 0) return;
  for (const CLI::Option* other : others) {
    if (other->count() > 0) throw CLI::ExcludesError(option.get_name(), other->get_name());
  }
}

// The rest of the command line a mode cannot take; empty when none.
std::string Unexpected(const CommandLine& c, const std::string& mode, const std::string& what) {
  if (c.paths.empty()) return {};
  return mode + " takes " + what + "; unexpected " + c.paths.front();
}

// --export takes its path, -o, --track with its gauge and spacing, and
// nothing else.
int RunExportMode(CommandLine& c) {
  for (const CLI::Option* option : c.app.get_options()) {
    const std::string name = option->get_name();
    const bool ofTheTrack = name == "--gauge" || name == "--tie-spacing";
    if (option->count() > 0 && ofTheTrack && !c.exportOptions.track) {
      std::cerr << "kelvane: " << name << " with --export needs --track\n";
      return 2;
    }
    if (option->count() > 0 && !ofTheTrack && name != "--export" && name != "--output" &&
        name != "--track" && name != "file") {
      std::cerr << "kelvane: --export takes -o and --track only; unexpected " << name << "\n";
      return 2;
    }
  }
  if (!c.paths.empty() || c.outputPath.empty()) {
    std::cerr << "kelvane: --export needs one path and -o OUT.glb or OUT.gltf\n";
    return 2;
  }
  c.exportOptions.path = HostPathFromArgument(WinePrefix::FromEnvironment(), c.exportPath);
  c.exportOptions.output = c.outputPath;
  c.exportOptions.gauge = c.render.gauge;
  c.exportOptions.tieSpacing = c.render.tieSpacing;
  return RunExport(c.exportOptions, std::cerr);
}

int RunThumbnailMode(CommandLine& c) {
  if (!c.paths.empty() || c.renderOption->count() > 0 || c.textureOption->count() > 0 ||
      c.infoOption->count() > 0 || c.outputOption->count() > 0) {
    std::cerr << "kelvane: --thumbnail takes its input, output and size only\n";
    return 2;
  }
  ThumbnailOptions thumbnail;
  thumbnail.input = c.thumbnailArgs[0];
  thumbnail.output = c.thumbnailArgs[1];
  try {
    std::size_t used = 0;
    thumbnail.size = std::stoi(c.thumbnailArgs[2], &used);
    if (used != c.thumbnailArgs[2].size()) thumbnail.size = 0;
  } catch (const std::exception&) {
    thumbnail.size = 0;
  }
  return RunThumbnail(thumbnail, std::cerr);
}

int RunCheckMode(CommandLine& c) {
  const WinePrefix wine = WinePrefix::FromEnvironment();
  for (const auto& argument : c.checkPaths) {
    const auto path = HostPathFromArgument(wine, argument);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      std::cerr << "kelvane: --check: no such file or folder: " << argument << "\n";
      return 2;
    }
    c.check.paths.push_back(path);
  }
  c.check.progress = isatty(STDERR_FILENO) != 0;
  return RunCheck(c.check, std::cout, std::cerr);
}

int RunRenderMode(CommandLine& c) {
  if (const std::string extra = Unexpected(c, "--render", "one path"); !extra.empty()) {
    std::cerr << "kelvane: " << extra << "\n";
    return 2;
  }
  c.render.path = HostPathFromArgument(WinePrefix::FromEnvironment(), c.renderPath);
  c.render.output = c.outputPath;
  c.render.settingsFile = c.settingsFile;
  return RunRender(c.render, std::cerr);
}

int RunTextureMode(CommandLine& c) {
  if (const std::string extra = Unexpected(c, "--texture", "one image"); !extra.empty()) {
    std::cerr << "kelvane: " << extra << "\n";
    return 2;
  }
  c.texture.image = c.texturePath;
  c.texture.output = c.outputPath;
  if (c.constantOption->count() > 0) c.texture.constantAlpha = c.constantAlpha;
  if (!c.alphaImagePath.empty()) c.texture.alphaImage = c.alphaImagePath;
  return RunTexture(c.texture, std::cerr);
}

int RunInfoMode(CommandLine& c) {
  if (const std::string extra = Unexpected(c, "--info", "one path"); !extra.empty()) {
    std::cerr << "kelvane: " << extra << "\n";
    return 2;
  }
  // The simulator's OpenWith macro passes Windows paths.
  c.info.path = HostPathFromArgument(WinePrefix::FromEnvironment(), c.infoPath);
  if (IsTraincarPath(c.info.path)) return RunTraincarInfo(c.info.path, std::cout);
  return RunInfo(c.info, std::cout);
}

// A headless mode: the option that asks for it, the checks of the options
// that belong to it (a usage error throws), and what it runs. The first
// mode asked for runs.
struct Mode {
  CLI::Option* CommandLine::*option;
  void (*check)(CommandLine&);
  int (*run)(CommandLine&);
};

constexpr Mode kModes[] = {
    {&CommandLine::thumbnailOption,
     [](CommandLine& c) { Exclude(*c.settingsOption, {c.thumbnailOption}); }, RunThumbnailMode},
    {&CommandLine::checkOption,
     [](CommandLine& c) {
       RequireFor(c.checkOnly, *c.checkOption);
       Exclude(*c.checkOption, {c.infoOption, c.renderOption, c.textureOption});
       Exclude(*c.settingsOption, {c.checkOption});
     },
     RunCheckMode},
    {&CommandLine::renderOption,
     [](CommandLine& c) {
       RequireFor(c.renderOnly, *c.renderOption);
       if (c.renderOption->count() > 0 && c.outputOption->count() == 0)
         throw CLI::RequiresError("--render", "-o");
       Exclude(*c.renderOption, {c.textureOption, c.infoOption});
       if (!c.sizeText.empty()) ParseSize(c.sizeText, c.render);
       if (!c.rotText.empty()) ParsePair(c.rotText, "--rot", c.render.rotX, c.render.rotY);
       if (!c.panText.empty()) ParsePair(c.panText, "--pan", c.render.panX, c.render.panY);
       if (!c.backgroundText.empty()) c.render.background = ParseColour(c.backgroundText);
     },
     RunRenderMode},
    {&CommandLine::textureOption,
     [](CommandLine& c) {
       CheckTextureOptions(*c.textureOption, {c.constantOption, c.kindOption, c.alphaImageOption},
                           *c.infoOption, *c.renderOption, *c.outputOption);
       Exclude(*c.settingsOption, {c.textureOption});
       if (c.constantOption->count() > 0) {
         if (c.kindOption->count() > 0) throw CLI::ExcludesError("--constant-alpha", "--kind");
         if (c.constantAlpha < 0 || c.constantAlpha > 255)
           throw CLI::ValidationError("--constant-alpha", "A must lie in 0..255");
       }
     },
     RunTextureMode},
    {&CommandLine::infoOption, [](CommandLine& c) { Exclude(*c.settingsOption, {c.infoOption}); },
     RunInfoMode},
};

}  // namespace

std::optional<int> RunCommandLine(int argc, char** argv, ViewerArguments* viewer) {
  CommandLine c;
  c.app.set_version_flag("--version", std::string("kelvane ") + KELVANE_VERSION,
                         "Print the version and exit");
  c.app.set_help_flag("-h,--help", "Print this help and exit");
  AddInfoAndTextureOptions(c);
  AddRenderOptions(c);
  AddThumbnailAndCheckOptions(c);
  c.app.add_option("file", c.paths, "Mesh file (.im, .pm) or asset folder to open in the viewer")
      ->type_name("FILE|FOLDER");

  try {
    c.app.parse(argc, argv);
    // --export checks its own few options.
    if (c.exportOption->count() > 0) return RunExportMode(c);
    RequireFor({c.trackOption}, *c.exportOption);
    for (const Mode& mode : kModes)
      mode.check(c);
  } catch (const CLI::CallForHelp& e) {
    return c.app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return c.app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string message = e.what();
    std::replace(message.begin(), message.end(), '\n', ' ');
    std::cerr << "kelvane: " << message << " (see kelvane --help)\n";
    return 2;
  }

  for (const Mode& mode : kModes) {
    if ((c.*mode.option)->count() > 0) return mode.run(c);
  }
  if (viewer) {
    viewer->files = c.paths;
    viewer->settingsFile = c.settingsFile;
  }
  return std::nullopt;
}

}  // namespace kelvane
