#include "check_command.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "check/content_check.h"

namespace kelvane {

namespace {

using Json = nlohmann::ordered_json;

// One line per problem: the line breaks of a message become spaces.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

double Rate(double amount, double seconds) {
  return seconds > 0 ? amount / seconds : 0.0;
}

void PrintText(const CheckReport& report, std::ostream& out) {
  const std::string* asset = nullptr;
  for (const CheckProblem& p : report.problems) {
    if (!asset || *asset != p.asset) {
      asset = &p.asset;
      out << p.asset << "\n";
    }
    out << "  " << p.file << ": " << p.kind;
    if (p.offset) out << " at byte " << *p.offset;
    out << ": " << OneLine(p.message) << "\n";
  }
  char summary[200];
  std::snprintf(summary, sizeof summary,
                "checked %zu files: %zu problems in %.2f s (%.0f files/s, %.1f MB/s)",
                report.filesChecked, report.problems.size(), report.seconds,
                Rate(double(report.filesChecked), report.seconds),
                Rate(double(report.bytesRead) / 1e6, report.seconds));
  out << summary << "\n";
}

void PrintJson(const CheckReport& report, std::ostream& out) {
  Json problems = Json::array();
  for (const CheckProblem& p : report.problems) {
    problems.push_back(Json{{"asset", p.asset},
                            {"file", p.file},
                            {"kind", p.kind},
                            {"message", p.message},
                            {"offset", p.offset ? Json(*p.offset) : Json(nullptr)}});
  }
  Json result{{"files_checked", report.filesChecked},
              {"problem_count", report.problems.size()},
              {"bytes_read", report.bytesRead},
              {"seconds", report.seconds},
              {"problems", std::move(problems)}};
  out << result.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
}

}  // namespace

int RunCheck(const CheckCommandOptions& options, std::ostream& out, std::ostream& err) {
  CheckOptions check;
  check.paths = options.paths;
  check.jobs = options.jobs > 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  check.resolve = options.resolve;
  check.limits.maxTriangles = options.maxTriangles;
  check.limits.maxTextureBytes =
      static_cast<std::uint64_t>(options.maxTextureMb * 1024.0 * 1024.0 + 0.5);
  if (options.progress) {
    const auto start = std::chrono::steady_clock::now();
    check.progress = [&err, start](std::size_t done, std::size_t total, std::uint64_t) {
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      char line[120];
      std::snprintf(line, sizeof line, "\r%zu/%zu files, %.0f files/s ", done, total,
                    Rate(double(done), seconds));
      err << line << std::flush;
    };
  }
  const CheckReport report = CheckContent(check);
  if (options.progress) err << "\n";
  if (options.json) {
    PrintJson(report, out);
  } else {
    PrintText(report, out);
  }
  return report.problems.empty() ? 0 : 1;
}

}  // namespace kelvane
