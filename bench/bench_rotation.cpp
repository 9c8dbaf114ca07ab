// Cost of the rotation's walk over a crowded rotation directory: listing,
// ordering and pruning 1,000 and 10,000 rotated logs, finding the free number
// in a full directory, and the copy into another volume. Every job pays this
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
    settings.rotateNameDescription = u"YYYYMMDD";
    settings.rotateNamePos = 1;
    const auto newest = std::chrono::file_clock::now();
    for (int i = 0; i < count; ++i) {
      // orbeck_20261205.log, then its numbered names.
      const std::u16string number = i == 0 ? u"" : u"_" + plat::Widen(std::to_string(i));
      const std::u16string path = temp / (u"orbeck_20261205" + number + u".log");
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

// Today's name and every number up to 9998 taken: the displaced file has
// nowhere to go. Argument 1: the listing refused, every name tried by an open.
void BM_NextFreeSuffixFull(benchmark::State& state) {
  Directory& directory = DirectoryOf(9999);
  plat::ClearFaults();
  if (state.range(0) == 1) plat::InjectFault({plat::FaultOp::List, 0, -1, u""});
  for (auto _ : state) {
    benchmark::DoNotOptimize(NextFreeSuffix(directory.temp / u"orbeck_20261205.log"));
  }
  plat::ClearFaults();
}

// The copy into another volume (here within one, through the same code):
// bytes per second of the log copied, kept and removed.
void BM_CopyLog(benchmark::State& state) {
  qvtest::ScopedTempDir temp;
  LogSettings settings;
  settings.logFilePath = temp / u"orbeck.log";
  const std::u16string rotated = temp / u"orbeck_20261205.log";
  fs::resize_file(
      (qvtest::WriteBytes(settings.logFilePath, ""), qvtest::NativePath(settings.logFilePath)),
      static_cast<std::uintmax_t>(state.range(0)) << 20);
  for (auto _ : state) {
    CopyLogToRotateDir(rotated, settings);
    plat::MoveNoReplace(rotated, settings.logFilePath);
  }
  state.SetBytesProcessed(state.iterations() * (state.range(0) << 20));
}

BENCHMARK(BM_NextFreeSuffixFull)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyLog)->Arg(64)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ListAndSort)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Prune)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortOnly)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
