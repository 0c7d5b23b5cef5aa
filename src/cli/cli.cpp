#include "cli.h"

#include <CLI/CLI.hpp>
#include <iostream>
#include <string>
#include <vector>

#include "assets/wine_paths.h"
#include "info_command.h"
#include "traincar_info.h"

#ifndef KELVANE_VERSION
#define KELVANE_VERSION "0"
#endif

namespace kelvane {

std::optional<int> RunCommandLine(int argc, char** argv) {
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
  app.add_option("file", paths, "Mesh file (.im, .pm) or asset folder to open in the viewer")
      ->type_name("FILE|FOLDER");

  try {
    app.parse(argc, argv);
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
  return std::nullopt;
}

}  // namespace kelvane
