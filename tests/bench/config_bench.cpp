// The config.txt reader: the parse of a 1 MB file, and how the composition
// of a traincar grows with its mesh-table entries (1,000 against 8,000, in
// this process, as --info composes it).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <sstream>
#include <string>

#include "assets/config_parser.h"
#include "fixtures/asset_writer.h"
#include "support/temp_dir.h"
#include "traincar_info.h"

namespace kelvane {
namespace {

// The generated traincar's text, grown until it holds at least `bytes`.
std::string ConfigOfAtLeast(std::size_t bytes) {
  std::size_t entries = 1000;
  std::string text = fixtures::ConfigText(fixtures::LargeTraincarConfig(entries));
  while (text.size() < bytes) {
    entries = entries * bytes / text.size() + 1;
    text = fixtures::ConfigText(fixtures::LargeTraincarConfig(entries));
  }
  return text;
}

void ConfigParse(benchmark::State& state) {
  const std::string text = ConfigOfAtLeast(1'000'000);
  for (auto _ : state) {
    ConfigLines lines = ConfigLines::FromText(text);
    benchmark::DoNotOptimize(lines.LineCount());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(text.size()));
  state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
}
BENCHMARK(ConfigParse)->Name("ConfigParse1MB/kelvane")->Unit(benchmark::kMillisecond);

// Every mesh-table entry of the 1 MB file as composition queries it.
void ConfigMeshTableWalk(benchmark::State& state) {
  const ConfigLines parsed = ConfigLines::FromText(ConfigOfAtLeast(1'000'000));
  int entries = 0;
  for (auto _ : state) {
    ConfigLines lines = parsed;
    entries = 0;
    for (int mesh = lines.FindTag("mesh-table", "", "mesh", kConfigTop, 2); mesh >= 0;
         mesh = lines.FindTag("mesh-table", "", "mesh", mesh + 1, 2)) {
      const std::string entry = lines.LastParentName();
      const int own = lines.FindTag("", "mesh-table", entry, kConfigTop, 1);
      benchmark::DoNotOptimize(lines.FindTag("mesh-table", entry, "att", own, 2));
      benchmark::DoNotOptimize(lines.FindTag("mesh-table", entry, "att-parent", own, 2));
      benchmark::DoNotOptimize(lines.FindTag("mesh-table", entry, "effects", kConfigTop, 2));
      ++entries;
    }
  }
  state.counters["entries"] = entries;
}
BENCHMARK(ConfigMeshTableWalk)->Name("ConfigWalk1MB/kelvane")->Unit(benchmark::kMillisecond);

struct ComposeTime {
  double wall = -1;  // seconds
  double cpu = -1;   // seconds of processor time of this whole process
};

double ProcessCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Fastest of a few compositions of the traincar in `folder`; negative times
// when it did not compose.
ComposeTime Compose(const std::filesystem::path& folder) {
  ComposeTime best;
  for (int run = 0; run < 3; ++run) {
    std::ostringstream out;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    if (RunTraincarInfo(folder, out) != 0) return {};
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best.wall = best.wall < 0 ? wall : std::min(best.wall, wall);
    best.cpu = best.cpu < 0 ? cpu : std::min(best.cpu, cpu);
  }
  return best;
}

// Eight times the entries may cost at most 9.6 times the time: ten times
// at most twelve. Processor time is compared, as other work on the machine
// stretches the wall time of short runs unevenly.
void TraincarScaling(benchmark::State& state) {
  testing::TempDir dir;
  const auto small = fixtures::WriteLargeTraincar(dir / "small", 1000, KELVANE_STANDIN).traincar;
  const auto large = fixtures::WriteLargeTraincar(dir / "large", 8000, KELVANE_STANDIN).traincar;
  for (auto _ : state) {
    const ComposeTime smallTime = Compose(small);
    const ComposeTime largeTime = Compose(large);
    if (smallTime.cpu <= 0 || largeTime.cpu <= 0) {
      state.SkipWithError("the traincar did not compose");
      return;
    }
    state.SetIterationTime(largeTime.wall);
    state.counters["ms_1000"] = smallTime.wall * 1000.0;
    state.counters["ms_8000"] = largeTime.wall * 1000.0;
    state.counters["cpu_ms_1000"] = smallTime.cpu * 1000.0;
    state.counters["cpu_ms_8000"] = largeTime.cpu * 1000.0;
    state.counters["x_time"] = largeTime.cpu / smallTime.cpu;
  }
  state.SetLabel("max:x_time:9.6");
}
BENCHMARK(TraincarScaling)
    ->Name("TraincarEntries8000/kelvane")
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace kelvane
