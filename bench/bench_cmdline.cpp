// Command-line handling on the longest line Windows passes (32,767
// characters): a realistic line of suite options and lines built to be hard
// for the normaliser, the option search and the " -API" removal.
#include <benchmark/benchmark.h>

#include <string>

#include "cmdline/normalize.h"
#include "cmdline/options.h"

namespace {

constexpr std::size_t kLongest = 32767;

std::u16string Repeat(std::u16string_view unit, std::size_t length) {
  std::u16string out;
  while (out.size() < length) out += unit;
  out.resize(length);
  return out;
}

// Suite options as batch jobs write them, the launcher's own at the very end
// so that every lookup crosses the whole line.
std::u16string RealisticLine() {
  const std::u16string tail = u" -Lid12345 -Lfn\"C:\\Log Files\\orbeck.log\" -Lrf";
  return Repeat(u"-Xin\"D:\\Jobs\\In Box\\form 17.pdf\" \"-Xout D:\\Jobs\\Out Box\" -Xms0 -Xq3 ",
                kLongest - tail.size()) +
         tail;
}

// Nothing but quotes: the most tokens and the longest result.
std::u16string QuotesLine() {
  return std::u16string(kLongest, u'"');
}

// Word starts that almost hold the name, and the name only at the end.
std::u16string NearMissLine() {
  return Repeat(u" -Li", kLongest - 8) + u" -Lid77";
}

// Every cut of " -API" brings the next occurrence together.
std::u16string NestedApiLine() {
  const std::size_t depth = kLongest / 5;
  std::u16string line;
  for (std::size_t i = 0; i < depth; ++i) line += u" -";
  for (std::size_t i = 0; i < depth; ++i) line += u"API";
  return line;
}

void Normalize(benchmark::State& state, std::u16string line) {
  for (auto _ : state) benchmark::DoNotOptimize(NormalizeCommandLine(line));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size() * 2));
}

void Lookup(benchmark::State& state, std::u16string line) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(GetOptionValue(line, u"-Lid"));
    benchmark::DoNotOptimize(GetOptionValue(line, u"-Lfn"));
    benchmark::DoNotOptimize(HasOption(line, u"-Lrf"));
    benchmark::DoNotOptimize(HasOption(line, u"-API"));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size() * 2 * 4));
}

// Includes copying the line, which the in-place removal needs fresh each time.
void Remove(benchmark::State& state, std::u16string line) {
  for (auto _ : state) {
    std::u16string text = line;
    RemoveAllOccurrences(text, u" -API");
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size() * 2));
}

// For comparison: cutting the first occurrence and searching again from the
// start, as the removal is defined.
void RemoveByRescan(benchmark::State& state, std::u16string line) {
  for (auto _ : state) {
    std::u16string text = line;
    for (std::size_t at; (at = text.find(u" -API")) != std::u16string::npos;) text.erase(at, 5);
    benchmark::DoNotOptimize(text);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * line.size() * 2));
}

BENCHMARK_CAPTURE(Normalize, realistic, RealisticLine());
BENCHMARK_CAPTURE(Normalize, quotes, QuotesLine());
BENCHMARK_CAPTURE(Lookup, realistic, RealisticLine());
BENCHMARK_CAPTURE(Lookup, near_miss, NearMissLine());
BENCHMARK_CAPTURE(Remove, realistic, RealisticLine());
BENCHMARK_CAPTURE(Remove, every_other_word, Repeat(u" -API -Lid5", kLongest));
BENCHMARK_CAPTURE(Remove, nested, NestedApiLine());
BENCHMARK_CAPTURE(RemoveByRescan, nested, NestedApiLine());

}  // namespace

BENCHMARK_MAIN();
