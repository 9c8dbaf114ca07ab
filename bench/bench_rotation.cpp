// Cost of the rotation's walk over a crowded rotation directory: listing,
// ordering and pruning 1,000 and 10,000 rotated logs. Every job pays this
// while it holds "rotation.lock", so the other writers wait as long.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "execlog/rotation.h"
#include "platform/fault.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

namespace fs = std::filesystem;

// A rotation directory of count rotated logs, each a second older than the
// one before, kept across the runs of one size.
struct Directory {
  qvtest::ScopedTempDir temp;
  LogSettings settings;

  explicit Directory(int count) {
    settings.rotateDir = temp.path();
    settings.logFilePath = temp / u"orbeck.log";
    settings.rotateTimes = u"99";
    const auto newest = std::chrono::file_clock::now();
    for (int i = 0; i < count; ++i) {
      const std::u16string path = temp / (u"orbeck_" + plat::Widen(std::to_string(i)) + u".log");
      qvtest::WriteBytes(path, "");
      fs::last_write_time(qvtest::NativePath(path), newest - std::chrono::seconds(i));
    }
  }
};

Directory& DirectoryOf(int count) {
  static std::map<int, std::unique_ptr<Directory>> directories;
  std::unique_ptr<Directory>& directory = directories[count];
  if (!directory) directory = std::make_unique<Directory>(count);
  return *directory;
}

void BM_ListAndSort(benchmark::State& state) {
  Directory& directory = DirectoryOf(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    std::vector<RotationCandidate> list;
    ListRotationCandidates(directory.settings, list);
    SortRotationCandidates(list);
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The whole pruning walk; every delete is refused at the platform seam so
// that the directory keeps its size from one iteration to the next.
void BM_Prune(benchmark::State& state) {
  Directory& directory = DirectoryOf(static_cast<int>(state.range(0)));
  plat::ClearFaults();
  plat::FaultRule refuseDeletes;
  refuseDeletes.op = plat::FaultOp::Remove;
  refuseDeletes.count = -1;
  plat::InjectFault(refuseDeletes);
  for (auto _ : state) PruneRotatedLogs(directory.settings);
  plat::ClearFaults();
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// Ordering alone, from the order that costs exchanging neighbours the most:
// oldest first.
void BM_SortOnly(benchmark::State& state) {
  std::vector<RotationCandidate> ascending;
  for (int i = 0; i < state.range(0); ++i) {
    ascending.push_back({0, u"orbeck_" + plat::Widen(std::to_string(i)) + u".log", i});
  }
  for (auto _ : state) {
    std::vector<RotationCandidate> list = ascending;
    SortRotationCandidates(list);
    benchmark::DoNotOptimize(list.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

BENCHMARK(BM_ListAndSort)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Prune)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortOnly)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
