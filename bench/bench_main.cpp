// hearth-bench: runs every registered benchmark, then prints the registered comparisons.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "bench/ratio.h"

namespace {

struct Comparison {
  std::string name, ours, peer;
};

std::vector<Comparison>& Comparisons() {
  static std::vector<Comparison> list;
  return list;
}

std::map<std::string, double>& Recorded() {
  static std::map<std::string, double> values;
  return values;
}

// Keeps each benchmark's processor time per iteration while printing as usual: the median
// over repetitions when there are several, otherwise the one run. Processor time, not wall
// time, since the machines these run on are shared and a benchmark that waits for a core has
// not worked any longer (every benchmark compared here runs on one thread).
class CollectingReporter : public benchmark::ConsoleReporter {
 public:
  explicit CollectingReporter(OutputOptions options) : ConsoleReporter(options) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.iterations <= 0) continue;
      const double seconds = run.cpu_accumulated_time / double(run.iterations);
      const std::string name = run.run_name.str();
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        seconds_per_iteration[name] = seconds;
        medians.insert(name);
      } else if (run.run_type == Run::RT_Iteration && !medians.count(name)) {
        seconds_per_iteration[name] = seconds;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> seconds_per_iteration;
  std::set<std::string> medians;
};

double Lookup(const std::map<std::string, double>& times, const std::string& name) {
  auto it = times.find(name);
  if (it != times.end()) return it->second;
  // Benchmarks with arguments report "name/arg"; take the first match.
  for (auto& [key, value] : times) {
    if (key.rfind(name + "/", 0) == 0) return value;
  }
  return 0;
}

}  // namespace

BenchRatio::BenchRatio(const char* name, const char* ours, const char* peer) {
  Comparisons().push_back({name, ours, peer});
}

void BenchRecordRatio(const std::string& name, double value) { Recorded()[name] = value; }

namespace {

// Terminal colours only on a terminal, unless --benchmark_color says otherwise (our own
// reporter does not read that flag, so it is honoured here).
bool UseColour(int argc, char** argv) {
  const char kFlag[] = "--benchmark_color=";
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], kFlag, sizeof(kFlag) - 1) != 0) continue;
    const char* value = argv[i] + sizeof(kFlag) - 1;
    if (std::strcmp(value, "auto") == 0) break;
    return std::strcmp(value, "true") == 0 || std::strcmp(value, "yes") == 0 || std::strcmp(value, "1") == 0;
  }
  return isatty(STDOUT_FILENO) != 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool colour = UseColour(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  CollectingReporter reporter(colour ? benchmark::ConsoleReporter::OO_ColorTabular
                                     : benchmark::ConsoleReporter::OO_Tabular);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  for (const Comparison& c : Comparisons()) {
    double ours = Lookup(reporter.seconds_per_iteration, c.ours);
    double peer = Lookup(reporter.seconds_per_iteration, c.peer);
    if (ours > 0 && peer > 0) std::printf("ratio %s %.3f\n", c.name.c_str(), peer / ours);
  }
  for (auto& [name, value] : Recorded()) std::printf("ratio %s %.3f\n", name.c_str(), value);
  return 0;
}
