// Saves two different sets of settings into one file, alternately, until it
// is killed: the test kills it at random moments and reads the file back.
// After the first save it writes one line to standard output, so the test
// kills it while it is saving, not while it is starting.

#include <cstdio>
#include <string>

#include "settings/viewer_settings.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  for (long round = 0;; ++round) {
    kelvane::ViewerSettings s;
    const bool even = round % 2 == 0;
    s.lastFile = std::string(200, even ? 'a' : 'b');
    s.tieSpacing = even ? 500 : 1500;
    s.gauge = even ? 1.0f : 2.0f;
    s.corvelDir = even ? "C:\\A" : "C:\\B";
    kelvane::TMemIni ini(argv[1]);
    std::string error;
    if (!kelvane::SaveConfig(ini, s, std::nullopt, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    if (round == 0) {
      std::puts("saved");
      std::fflush(stdout);
    }
  }
}
