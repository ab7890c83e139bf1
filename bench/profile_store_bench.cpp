// The profile store's cycle on a 1 MB host profile, next to a plain read and
// write of the same bytes; ends with the medians and their ratio.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>

#include "bench/profile_bench_rig.h"

namespace quenta::bench {
namespace {

const std::filesystem::path kFolder = std::filesystem::temp_directory_path() / "quenta-profile-bench";
const std::string kProfile = (kFolder / "Mill.xml").string();
const std::string kCopy = (kFolder / "copy.xml").string();

void BM_ProfileStoreCycle(benchmark::State& state) {
  for (auto _ : state) StoreCycle(kProfile);
}

void BM_PlainReadWrite(benchmark::State& state) {
  for (auto _ : state) PlainReadWrite(kProfile, kCopy, false);
}

void BM_PlainReadWriteFlush(benchmark::State& state) {
  for (auto _ : state) PlainReadWrite(kProfile, kCopy, true);
}

// Keeps the median of each benchmark for the closing summary.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") medians[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
  }
  std::map<std::string, double> medians;  // in the benchmarks' unit, milliseconds
};

}  // namespace
}  // namespace quenta::bench

int main(int argc, char** argv) {
  using namespace quenta::bench;
  std::filesystem::create_directories(kFolder);
  WriteBytes(kProfile, MakeHostProfile(1 << 20));
  for (auto* benchmark : {benchmark::RegisterBenchmark("BM_ProfileStoreCycle", BM_ProfileStoreCycle),
                          benchmark::RegisterBenchmark("BM_PlainReadWrite", BM_PlainReadWrite),
                          benchmark::RegisterBenchmark("BM_PlainReadWriteFlush", BM_PlainReadWriteFlush)}) {
    benchmark->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true)->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter.medians["BM_ProfileStoreCycle"], reporter.medians["BM_PlainReadWrite"],
               reporter.medians["BM_PlainReadWriteFlush"]);
  std::error_code ignored;
  std::filesystem::remove_all(kFolder, ignored);
  return 0;
}
