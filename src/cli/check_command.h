#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <vector>

namespace kelvane {

struct CheckCommandOptions {
  std::vector<std::filesystem::path> paths;
  bool json = false;
  unsigned jobs = 0;  // 0: one per core
  bool resolve = false;
  bool progress = false;  // a progress line on `err`
  // Budgets an asset is held against; 0: none. Megabytes of 1024 x 1024
  // bytes.
  std::int64_t maxTriangles = 0;
  double maxTextureMb = 0.0;
};

// Checks every mesh and traincar under the paths and prints what is wrong:
// a line per problem grouped by asset and a summary, or one JSON document.
// Returns 0 when nothing is wrong, 1 otherwise.
int RunCheck(const CheckCommandOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kelvane
