// Process-level timings for bench/process_bench.sh, on either build.
//
//   process_timing --time-single N   one launcher job (logging on, rotation on
//                                    and not triggered) against the bare
//                                    engine call, each started N times
//   process_timing --append-race P J P processes append J lines each to one
//                                    file through append-only handles
//   process_timing --bare [ARGS]     the bare engine call: load Qorvane.dll
//                                    from this directory, call Qorvane4EXE
//                                    once, exit with its result
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

int Bare(const std::vector<std::string>& words) {
  std::string commandLine;
  for (std::size_t i = 1; i < words.size(); ++i) commandLine += (i > 1 ? " " : "") + words[i];
  plat::Library library = plat::OpenLibrary(qvtest::BinFile("Qorvane.dll"));
  if (!library) return -2001;
  auto entry = reinterpret_cast<EngineEntry>(plat::FindExport(*library, kEngineExport));
  if (entry == nullptr) return -2001;
  const std::u16string line = plat::FromUtf8(commandLine);
  return entry(nullptr, 0x1201, u"", line.c_str(), u"");
}

double TimeOne(const std::u16string& exe, const std::u16string& commandLine) {
  const auto t0 = std::chrono::steady_clock::now();
  plat::Process p = qvtest::StartProgram(exe, commandLine);
  std::int64_t code = 0;
  if (p) plat::WaitProcess(*p, code);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

void TimeSingle(int runs) {
  qvtest::ScratchInstall install;
  std::filesystem::copy_file(qvtest::NativePath(qvtest::BinFile("Qorvane.dll")),
                             qvtest::NativePath(install / u"bin\\Qorvane.dll"));
  install.LogSetup(
      u"runtime.orbeck.active=1\r\nruntime.rotate.active=1\r\nruntime.rotate.rule.sizeflg=1\r\n"
      u"runtime.rotate.rule.size=10\r\n");
  const std::u16string launcher = qvtest::Program("launcher");
  const std::u16string self = qvtest::Program("process_timing");
  std::vector<double> l, b;
  // A first run of each outside the figures: the page cache and, under Wine, the prefix.
  TimeOne(launcher, u"-LidWarm -Xrc1");
  TimeOne(self, u"--bare -Xrc1");
  for (int i = 0; i < runs; ++i) {
    l.push_back(TimeOne(launcher, u"-LidS" + plat::Widen(std::to_string(i)) + u" -Xrc1"));
    b.push_back(TimeOne(self, u"--bare -Xrc1"));
  }
  std::sort(l.begin(), l.end());
  std::sort(b.begin(), b.end());
  const double lm = l[l.size() / 2], bm = b[b.size() / 2];
  std::printf(
      "single: runs=%d launcher_median_ms=%.3f bare_median_ms=%.3f ratio=%.2f "
      "launcher_min_ms=%.3f bare_min_ms=%.3f min_ratio=%.2f\n",
      runs, lm, bm, lm / bm, l[0], b[0], l[0] / b[0]);
}

// Appends count lines "TAG-NNNNNN", each with an open, one write and a close,
// as the engine trace is written.
int AppendChild(const std::u16string& path, const std::string& tag, int count) {
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    char line[64];
    const int n = std::snprintf(line, sizeof line, "%s-%06d\n", tag.c_str(), i);
    plat::FileHandle file;
    if (plat::OpenFile(path, plat::OpenMode::AppendShared, file) != plat::OpenStatus::Opened ||
        !plat::WriteBytes(*file, line, static_cast<std::size_t>(n))) {
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}

void AppendRace(int processes, int lines) {
  qvtest::ScopedTempDir dir;
  const std::u16string file = dir / u"append.txt";
  std::vector<plat::Process> children;
  for (int c = 0; c < processes; ++c) {
    children.push_back(
        qvtest::StartProgram(qvtest::Program("process_timing"),
                             u"--append-child \"" + file + u"\" c" +
                                 plat::Widen(std::to_string(c) + " " + std::to_string(lines))));
  }
  int refused = 0;
  for (plat::Process& child : children) {
    std::int64_t code = 1;
    if (!child || !plat::WaitProcess(*child, code) || code != 0) ++refused;
  }
  std::map<std::string, int> seen;
  const std::string text = qvtest::ReadBytes(file);
  for (std::size_t pos = 0, end = 0; pos < text.size(); pos = end + 1) {
    end = std::min(text.find('\n', pos), text.size());
    ++seen[text.substr(pos, end - pos)];
  }
  long long lost = 0, doubled = 0;
  for (int c = 0; c < processes; ++c) {
    for (int i = 0; i < lines; ++i) {
      char line[64];
      std::snprintf(line, sizeof line, "c%d-%06d", c, i);
      const int n = seen.count(line) != 0 ? seen[line] : 0;
      lost += n == 0;
      doubled += n > 1;
    }
  }
  std::printf(
      "append-race: %d processes x %d lines: %lld lost, %lld doubled, %zu bytes, %d processes "
      "failed\n",
      processes, lines, lost, doubled, text.size(), refused);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> words = plat::ConsoleArguments(argc, argv);
  const std::string mode = words.empty() ? "" : words[0];
  if (mode == "--bare") return Bare(words);
  if (mode == "--append-child" && words.size() == 4) {
    return AppendChild(plat::FromUtf8(words[1]), words[2], std::atoi(words[3].c_str()));
  }
  if (mode == "--time-single" && words.size() == 2) {
    TimeSingle(std::max(1, std::atoi(words[1].c_str())));
    return 0;
  }
  if (mode == "--append-race" && words.size() == 3) {
    AppendRace(std::atoi(words[1].c_str()), std::atoi(words[2].c_str()));
    return 0;
  }
  std::fprintf(stderr,
               "usage: process_timing --time-single N | --append-race P J | --bare [ARGS]\n");
  return 2;
}
