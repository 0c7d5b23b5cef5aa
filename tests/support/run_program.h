#pragma once

// Runs a program of ours as a user or a script would, through /bin/sh with
// every argument quoted, and collects what it printed.

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace kelvane::testing {

struct ProcessResult {
  int status = -1;
  std::string out;  // standard output
  std::string err;  // standard error
};

inline std::string ShellQuote(const std::string& arg) {
  std::string q = "'";
  for (char c : arg)
    q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Standard error goes through a file in `dir`.
inline ProcessResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                                const TempDir& dir) {
  std::string command = ShellQuote(program);
  for (const auto& a : args)
    command += " " + ShellQuote(a);
  const auto errFile = dir / "stderr.txt";
  command += " 2>" + ShellQuote(errFile.string());
  ProcessResult run;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer;
  std::size_t n;
  while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.out.append(buffer.data(), n);
  const int raw = pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = ReadText(errFile);
  return run;
}

}  // namespace kelvane::testing
