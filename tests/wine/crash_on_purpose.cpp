// Crashes on purpose: with Wine's debugger disabled the process ends at once
// with a failure, so a crash in a test fails it instead of hanging the run.
#include <cstdio>

int main() {
  std::puts("crashing");
  std::fflush(stdout);
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
  return 0;
}
