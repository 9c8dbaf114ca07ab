// Cost of the execution log's text work that every job pays twice: reading a
// log settings file of 200 lines (every key of the six components, unknown
// and malformed lines among them) and finalising it, in memory and from the
// file of a scratch installation; and forming a record line, with a typical
// command line and with the longest one Windows passes.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "execlog/log_settings.h"
#include "execlog/record_writer.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

constexpr std::size_t kLines = 200;

// Lines as a suite's settings file holds them: the keys of all components,
// then lines the reader must look at and ignore, repeated up to 200 lines.
std::u16string SettingsText(const std::u16string& outputDir) {
  std::u16string block = u"runtime.output.dir=" + outputDir +
                         u"\r\nruntime.output.errcodeonly=0\r\n"
                         u"runtime.output.retrycount=200\r\nruntime.rotate.active=1\r\n"
                         u"runtime.rotate.dir=" +
                         outputDir +
                         u"\\old\r\nruntime.rotate.rule.dateflg=1\r\n"
                         u"runtime.rotate.rule.datetype=2\r\nruntime.rotate.rule.sizeflg=1\r\n"
                         u"runtime.rotate.rule.size=10\r\nruntime.rotate.times=30\r\n"
                         u"runtime.rotate.name.description=YYYYMMDD\r\n"
                         u"runtime.rotate.name.position=1\r\n";
  for (const char16_t* component :
       {u"vorn", u"bralden", u"mirvo", u"quelp", u"orbeck", u"lunder"}) {
    const std::u16string name = component;
    block += u"runtime." + name + u".active=1\r\nruntime." + name + u".outfile=" + name +
             u".log\r\nruntime." + name + u".erractive=0\r\n";
  }
  block +=
      u"# operators' note\r\nruntime.orbeck.active = 1\r\nRuntime.Orbeck.Active=1\r\n"
      u"runtime.output.retrycount=123456\r\nruntime.unknown.key=value\r\n\r\n";
  std::u16string text;
  std::size_t lines = 0;
  std::size_t pos = 0;
  while (lines < kLines) {
    const std::size_t end = block.find(u"\r\n", pos);
    text += block.substr(pos, end + 2 - pos);
    ++lines;
    pos = end + 2 == block.size() ? 0 : end + 2;
  }
  return text;
}

// A suite with its log settings file in the private directory.
struct Installation {
  qvtest::ScopedTempDir root;
  qvtest::ScopedEnv env{u"VANTREL_V12",
                        root / u"bin" + u";" + root / u"suite" + u";" + root / u"data"};
  std::u16string text = SettingsText(root / u"data\\log");

  Installation() {
    std::filesystem::create_directories(qvtest::NativePath(root / u"suite\\private"));
    qvtest::WriteBytes(root / u"suite\\private\\logsetup_w.properties", qvtest::Utf16Le(text));
  }
};

Installation& Suite() {
  static Installation installation;
  return installation;
}

void BM_ApplyAndFinalize200Lines(benchmark::State& state) {
  const std::u16string& text = Suite().text;
  for (auto _ : state) {
    LogSettings settings;
    InitLogSettings(settings);
    settings.componentName = u"Orbeck";
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != u'\r' && text[i] != u'\n') continue;
      ApplyLogSetupLine(std::u16string_view(text).substr(start, i - start), settings);
      start = i + 1;
    }
    FinalizeLogSettings(settings);
    benchmark::DoNotOptimize(settings.logFilePath.data());
    ReleaseLogSettings(settings);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kLines));
}
BENCHMARK(BM_ApplyAndFinalize200Lines);

// As the job bracket and the rotation do it: the settings file's path from
// the suite settings, the file read, applied and finalised.
void BM_LoadAndFinalize200LineFile(benchmark::State& state) {
  Suite();
  for (auto _ : state) {
    LogSettings settings;
    InitLogSettings(settings);
    settings.componentName = u"Orbeck";
    LoadLogSettings(settings);
    FinalizeLogSettings(settings);
    benchmark::DoNotOptimize(settings.logFilePath.data());
    ReleaseLogSettings(settings);
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kLines));
}
BENCHMARK(BM_LoadAndFinalize200LineFile);

void BM_FormatRecord(benchmark::State& state) {
  const std::u16string commandLine =
      state.range(0) == 0 ? std::u16string(u"-Lid00042 -Xin\"D:\\Jobs\\In Box\\form 17.pdf\" -Xq3")
                          : std::u16string(32767, u'x');
  const plat::WallClock clock{1796545914, 123};
  for (auto _ : state) {
    const std::u16string stamp = FormatRecordTimeStamp(clock);
    benchmark::DoNotOptimize(
        FormatExecLogRecord(stamp, u"00042", u"HS", 0, 2911, commandLine).data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * (commandLine.size() + 64) * 2));
}
BENCHMARK(BM_FormatRecord)->Arg(0)->Arg(1)->ArgName("longest");

}  // namespace

BENCHMARK_MAIN();
