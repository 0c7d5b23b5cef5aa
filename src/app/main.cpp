#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
  if (auto status = kelvane::RunCommandLine(argc, argv)) return *status;
  // The window is not part of this build yet; only the headless modes are.
  std::cerr << "kelvane: this build has no viewer window yet; use --info PATH "
               "(see kelvane --help)\n";
  return 2;
}
