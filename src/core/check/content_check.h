#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "mesh/model_budget.h"

namespace kelvane {

// One thing the viewer would show or silently leave out.
struct CheckProblem {
  std::string file;                     // the file at fault
  std::string kind;                     // one short word: mesh-damaged, texture-missing, ...
  std::string message;                  // the viewer's message, or what it leaves out
  std::optional<std::uint64_t> offset;  // byte offset in `file`, when known
  std::string asset;                    // the mesh, config.txt or folder that leads to `file`

  auto operator<=>(const CheckProblem&) const = default;
};

// The files a check looks at, found under its paths.
struct ContentListing {
  std::vector<std::filesystem::path> meshes;        // ".im" and ".pm"
  std::vector<std::filesystem::path> configs;       // "config.txt"
  std::vector<CheckProblem> problems;               // loops, unreadable folders
  std::set<std::filesystem::path> canonicalMeshes;  // where the meshes really are
};

// Walks files and folders (recursively, names matched without regard to
// case). A symbolic link back into a folder being walked is reported and
// not followed; a folder reached twice is walked once.
ContentListing ListContent(const std::vector<std::filesystem::path>& paths);

// What the traincar checks look up in the listing: each asset's folder by
// its kuid (the last in name order wins), and the meshes that are checked
// on their own (canonical paths).
struct TreeIndex {
  std::map<std::string, std::filesystem::path> assets;
  std::set<std::filesystem::path> meshes;
};
TreeIndex IndexTree(const ContentListing& listing);

struct FileCheck {
  std::vector<CheckProblem> problems;
  std::uint64_t bytesRead = 0;
};

// Loads a mesh as the viewer does, decoding every texture it names without
// a GL context. Over any of `limits`, the mesh is "over-budget".
FileCheck CheckMeshFile(const std::filesystem::path& file, const BudgetLimits& limits = {});

// Composes the traincar whose config.txt this is. Parts are looked for in
// `index` and the asset's editing folder; with `resolve`, through the
// simulator's utility as the viewer does instead. What loading a mesh of
// the index shows is left to that mesh's own check.
// Over any of `limits` in total (every model, every texture upload), the
// traincar is "over-budget".
FileCheck CheckTraincarConfig(const std::filesystem::path& config, const TreeIndex& index,
                              bool resolve, const BudgetLimits& limits = {});

struct CheckOptions {
  std::vector<std::filesystem::path> paths;
  unsigned jobs = 1;
  bool resolve = false;
  BudgetLimits limits;
  // Called now and then from the calling thread while files are checked.
  std::function<void(std::size_t done, std::size_t total, std::uint64_t bytes)> progress;
};

struct CheckReport {
  std::vector<CheckProblem> problems;  // sorted, each once
  std::size_t filesChecked = 0;
  std::uint64_t bytesRead = 0;
  double seconds = 0.0;
};

// Checks everything under the paths on `jobs` threads. The problems do not
// depend on the number of jobs.
CheckReport CheckContent(const CheckOptions& options);

}  // namespace kelvane
