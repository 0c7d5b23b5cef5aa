// Peak resident memory of one model load, measured in a process that does
// nothing else: prints the file size, the peak added by the load, and
// their ratio.

#include <fstream>
#include <iostream>
#include <string>

#include "mesh/model.h"
#include "platform/notices.h"

namespace {

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: mesh-load-peak MESH\n";
    return 2;
  }
  kelvane::MeshUnitState unit;
  kelvane::RecordingNotifier notifier;
  kelvane::LoadContext context{unit, notifier};
  const long before = StatusKiB("VmRSS:");
  {
    kelvane::T3DModel model;
    if (!model.Load(argv[1], context)) {
      std::cerr << "mesh-load-peak: cannot load " << argv[1] << "\n";
      return 1;
    }
  }
  const double file = static_cast<double>(std::filesystem::file_size(argv[1]));
  const double added = static_cast<double>(StatusKiB("VmHWM:") - before) * 1024.0;
  std::cout << "file " << file / 1e6 << " MB, peak added by the load " << added / 1e6
            << " MB, ratio " << added / file << "\n";
  return 0;
}
