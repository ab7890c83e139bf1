// The profile store's cycle on a 1 MB host profile with the COM DOM under
// Wine, next to a plain read and write of the same bytes; prints medians.
#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "bench/profile_bench_rig.h"

namespace {

constexpr int kRounds = 15;

template <typename Work>
double MedianMilliseconds(Work work) {
  std::vector<double> samples;
  for (int round = 0; round < kRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    work();
    samples.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

}  // namespace

int main() {
  using namespace quenta::bench;
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  char folder[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, folder);
  const std::string profile = std::string(folder) + "quenta-profile-bench.xml";
  const std::string copy = std::string(folder) + "quenta-profile-bench-copy.xml";
  WriteBytes(profile, MakeHostProfile(1 << 20));
  const double store = MedianMilliseconds([&] { StoreCycle(profile); });
  const double plain = MedianMilliseconds([&] { PlainReadWrite(profile, copy, false); });
  const double flushed = MedianMilliseconds([&] { PlainReadWrite(profile, copy, true); });
  PrintSummary(store, plain, flushed);
  DeleteFileA(profile.c_str());
  DeleteFileA(copy.c_str());
  CoUninitialize();
  return 0;
}
