// Runs every benchmark and, after the usual table, prints one table of
// every target: each family's "kelvane" side beside its references,
// compared by their Mtexel/s, fps or runs/s counters (medians when repeated), and
// figures with a limit of their own. A label "target>=X" asks for a ratio
// of at least X (against REF alone with "target>=X@REF"); a label
// "max:COUNTER:X" asks for the counter to stay at
// or below X. The processor and the decoders' instruction sets come first.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "textures/dxt.h"
#include "textures/tga_reader.h"

namespace {

std::string CpuModel() {
  std::ifstream info("/proc/cpuinfo");
  std::string line;
  while (std::getline(info, line)) {
    if (line.rfind("model name", 0) == 0) {
      const std::size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown processor";
}

class TargetReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || (!run.aggregate_name.empty() && run.aggregate_name != "median"))
        continue;
      const std::string name = run.run_name.function_name;
      const std::size_t slash = name.find('/');
      if (slash == std::string::npos) continue;
      const std::string family = name.substr(0, slash);
      const std::string side = name.substr(slash + 1);
      const std::string& label = run.report_label;
      if (label.rfind("max:", 0) == 0) {
        // max:COUNTER:LIMIT
        const std::size_t colon = label.find(':', 4);
        if (colon == std::string::npos) continue;
        const std::string counter = label.substr(4, colon - 4);
        const auto value = run.counters.find(counter);
        if (value == run.counters.end()) continue;
        limits_[family] = {counter, value->second.value, std::stod(label.substr(colon + 1))};
        continue;
      }
      // Decoders compare texel rates, frame benchmarks frames per second,
      // whole-program runs runs per second.
      auto rate = run.counters.find("Mtexel/s");
      if (rate == run.counters.end()) rate = run.counters.find("fps");
      if (rate == run.counters.end()) rate = run.counters.find("runs/s");
      if (rate == run.counters.end()) continue;
      Side& entry = families_[family][side];
      entry.rate = rate->second.value;
      if (label.rfind("target>=", 0) == 0) {
        // target>=X, or target>=X@REFERENCE when only one reference counts.
        const std::size_t at = label.find('@');
        entry.target = std::stod(label.substr(8, at == std::string::npos ? at : at - 8));
        if (at != std::string::npos) entry.targetReference = label.substr(at + 1);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    std::printf("\nCPU: %s\nInstruction sets: TGA rows %s, DXT5 blocks %s\n", CpuModel().c_str(),
                kelvane::TgaRowConverters().front().instructionSet,
                kelvane::dxt::Dxt5InstructionSet());
    std::printf("\n%-18s %12s %12s %-16s %9s  %s\n", "family", "kelvane", "reference", "against",
                "ratio", "target");
    int met = 0, missed = 0;
    const auto verdict = [&](bool ok) {
      ok ? ++met : ++missed;
      return ok ? "met" : "MISSED";
    };
    for (const auto& [family, sides] : families_) {
      const auto ours = sides.find("kelvane");
      if (ours == sides.end()) continue;
      for (const auto& [refName, ref] : sides) {
        if (refName == "kelvane" || ref.rate <= 0) continue;
        const double ratio = ours->second.rate / ref.rate;
        std::string target = "-";
        const std::string& only = ours->second.targetReference;
        if (ours->second.target > 0 && (only.empty() || only == refName)) {
          char buffer[48];
          std::snprintf(buffer, sizeof buffer, ">= %.2f %s", ours->second.target,
                        verdict(ratio >= ours->second.target));
          target = buffer;
        }
        std::printf("%-18s %12.1f %12.1f %-16s %9.2f  %s\n", family.c_str(), ours->second.rate,
                    ref.rate, refName.c_str(), ratio, target.c_str());
      }
    }
    for (const auto& [family, limit] : limits_) {
      std::printf("%-18s %12.2f %12s %-16s %9s  <= %.2f %s\n", family.c_str(), limit.value, "-",
                  limit.counter.c_str(), "-", limit.max, verdict(limit.value <= limit.max));
    }
    std::printf("\ntargets met: %d, missed: %d\n", met, missed);
    std::fflush(stdout);
  }

 private:
  struct Side {
    double rate = 0;
    double target = 0;
    std::string targetReference;
  };
  struct Limit {
    std::string counter;
    double value = 0;
    double max = 0;
  };
  std::map<std::string, std::map<std::string, Side>> families_;
  std::map<std::string, Limit> limits_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  TargetReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
