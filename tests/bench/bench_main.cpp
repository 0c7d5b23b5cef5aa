// Runs every benchmark and, after the usual table, sets each decoder beside
// its reference: "Family/kelvane" against "Family/<reference>", compared by
// their Mtexel/s counters (medians when repeated). A target given as the
// label "target>=X" is checked and marked.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

class RatioReporter final : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || (!run.aggregate_name.empty() && run.aggregate_name != "median"))
        continue;
      // Decoders compare texel rates, frame benchmarks frames per second.
      auto rate = run.counters.find("Mtexel/s");
      if (rate == run.counters.end()) rate = run.counters.find("fps");
      if (rate == run.counters.end()) continue;
      const std::string name = run.run_name.function_name;
      const std::size_t slash = name.find('/');
      if (slash == std::string::npos) continue;
      Side& side = families_[name.substr(0, slash)][name.substr(slash + 1)];
      side.rate = rate->second.value;
      if (run.report_label.rfind("target>=", 0) == 0)
        side.target = std::stod(run.report_label.substr(8));
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    ConsoleReporter::Finalize();
    if (families_.empty()) return;
    std::printf("\n%-16s %14s %14s %-22s %7s %s\n", "family", "kelvane rate", "ref rate",
                "reference", "ratio", "target");
    for (const auto& [family, sides] : families_) {
      const auto ours = sides.find("kelvane");
      if (ours == sides.end()) continue;
      for (const auto& [refName, ref] : sides) {
        if (refName == "kelvane" || ref.rate <= 0) continue;
        const double ratio = ours->second.rate / ref.rate;
        std::string target = "-";
        if (ours->second.target > 0) {
          char buffer[48];
          std::snprintf(buffer, sizeof buffer, ">= %.2f %s", ours->second.target,
                        ratio >= ours->second.target ? "met" : "MISSED");
          target = buffer;
        }
        std::printf("%-16s %14.1f %14.1f %-22s %7.2f %s\n", family.c_str(), ours->second.rate,
                    ref.rate, refName.c_str(), ratio, target.c_str());
      }
    }
    std::fflush(stdout);
  }

 private:
  struct Side {
    double rate = 0;
    double target = 0;
  };
  std::map<std::string, std::map<std::string, Side>> families_;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
