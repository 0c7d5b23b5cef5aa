// velmora-util-standin: stands in for the simulator's command-line utility
// in tests and the sample. Given "edit" and a kuid, it copies the asset that
// carries that kuid from a store folder into the editing folder, as the real
// utility opens an asset for editing.
//
//   velmora-util-standin --store DIR --editing DIR [--delay-ms N] [--fail]
//                        [--hold] [--record FILE] edit KUID
//
// --hold: waits for a line (or the end) of its standard input first.
//
// Exit status: 0 copied, 2 no such asset, 3 told to fail, 64 bad arguments.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "assets/config_parser.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  fs::path store, editing, record;
  int delayMs = 0;
  bool fail = false;
  bool hold = false;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--store" && hasValue) {
      store = argv[++i];
    } else if (arg == "--editing" && hasValue) {
      editing = argv[++i];
    } else if (arg == "--record" && hasValue) {
      record = argv[++i];
    } else if (arg == "--delay-ms" && hasValue) {
      delayMs = std::stoi(argv[++i]);
    } else if (arg == "--fail") {
      fail = true;
    } else if (arg == "--hold") {
      hold = true;
    } else {
      words.push_back(arg);
    }
  }
  if (!record.empty()) {
    std::ofstream out(record, std::ios::app);
    for (std::size_t i = 0; i < words.size(); ++i)
      out << (i ? " " : "") << words[i];
    out << "\n";
  }
  if (words.size() != 2 || words[0] != "edit" || store.empty() || editing.empty()) {
    std::cerr << "usage: VelmoraUtil edit KUID\n";
    return 64;
  }
  if (hold) {
    std::string line;
    std::getline(std::cin, line);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
  if (fail) {
    std::cerr << "cannot open " << words[1] << " for editing\n";
    return 3;
  }

  std::vector<fs::path> assets;
  std::error_code ec;
  for (fs::directory_iterator it(store, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory()) assets.push_back(it->path());
  }
  std::sort(assets.begin(), assets.end());
  for (const auto& asset : assets) {
    if (kelvane::ConfigKuid(asset / "config.txt") != words[1]) continue;
    const fs::path target = editing / asset.filename();
    fs::create_directories(target);
    fs::copy(asset, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    std::cout << "opened " << words[1] << " in " << target.string() << "\n";
    return 0;
  }
  std::cerr << "no asset " << words[1] << "\n";
  return 2;
}
