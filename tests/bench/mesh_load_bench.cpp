// Loading speed and peak memory of the model reader on a large mesh:
// 2 million vertices and 1.7 million faces in objects of at most 65536
// vertices, written by the fixture writer.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fixtures/mesh_writer.h"
#include "mesh/model.h"
#include "platform/notices.h"

namespace {

// The mesh named by KELVANE_BENCH_MESH (make bench writes it with
// kelvane-sample), else one written here.
std::filesystem::path LargeMeshPath() {
  static const std::filesystem::path path = [] {
    if (const char* given = std::getenv("KELVANE_BENCH_MESH")) return std::filesystem::path(given);
    auto p = std::filesystem::temp_directory_path() / "kelvane-bench-large.im";
    kelvane::fixtures::WriteFile(p, kelvane::fixtures::LargeMesh(2'000'000, 1'700'000));
    return p;
  }();
  return path;
}

void BM_LoadLargeMesh(benchmark::State& state) {
  const auto path = LargeMeshPath();
  const auto size = static_cast<std::int64_t>(std::filesystem::file_size(path));
  kelvane::MeshUnitState unit;
  kelvane::RecordingNotifier notifier;
  kelvane::LoadContext context{unit, notifier};
  for (auto _ : state) {
    kelvane::T3DModel model;
    if (!model.Load(path, context)) state.SkipWithError("load failed");
    benchmark::DoNotOptimize(model.objects.data());
  }
  state.SetBytesProcessed(state.iterations() * size);
  state.counters["file_MB"] = static_cast<double>(size) / 1e6;
}
BENCHMARK(BM_LoadLargeMesh)->Unit(benchmark::kMillisecond)->UseRealTime();

// Reference: the whole file read with one fread into a fresh buffer.
void BM_FreadWholeFile(benchmark::State& state) {
  const auto path = LargeMeshPath();
  const auto size = std::filesystem::file_size(path);
  for (auto _ : state) {
    std::vector<char> buffer(size);
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f || std::fread(buffer.data(), 1, size, f) != size) state.SkipWithError("read failed");
    if (f) std::fclose(f);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}
BENCHMARK(BM_FreadWholeFile)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
