#include <cstdio>

// Each argument between brackets on a line of its own.
int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    std::printf("[%s]\n", argv[i]);
  return argc - 1;
}
