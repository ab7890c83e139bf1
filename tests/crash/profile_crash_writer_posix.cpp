// Saves the profile named on the command line over and over, one store per
// round as the entry points make them, until it is killed. Says "ready" on
// standard output after the first round, so that kills land in the loop.
#include <unistd.h>

#include <cstdio>

#include "profile/profile_store.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s PROFILE\n", argv[0]);
    return 2;
  }
  for (bool first = true;; first = false) {
    quenta::ProfileStore store(argv[1]);
    store.SetInt("Crash", "Counter", store.GetInt("Crash", "Counter", 0) + 1);
    store.Save();
    if (first && write(STDOUT_FILENO, "ready\n", 6) != 6) return 1;
  }
}
