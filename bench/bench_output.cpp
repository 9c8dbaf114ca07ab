// vtlog's output converters (UTF-8 text, JSON strings, CSV fields) against the
// plain table-driven reference of bench/output_reference.h, on the fields a
// log holds: a command line with a quoted Windows path, Japanese text, a
// 32767-character command line, and a short job identifier. Also a whole JSON
// record line, which goes through the line's buffer.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/output_reference.h"
#include "vtlog/output.h"

namespace {

const std::u16string& Field(std::int64_t kind) {
  static const std::u16string fields[] = {
      u"-Lid00042 -Xin\"D:\\Jobs\\In Box\\form 17.pdf\" -Xout D:\\Jobs\\Out -Xq3,4",
      u"-Lid7 -Xt\u6CE8\u6587\u66F8\u306E\u5370\u5237 \uFF8C\uFF9F\uFF98\uFF9D\uFF80 "
      u"\U0001F4C4 \u7B2C3\u7248",
      std::u16string(32767, u'x'),
      u"00042",
  };
  return fields[kind];
}

void SetBytes(benchmark::State& state, std::int64_t kind) {
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(Field(kind).size() * 2));
}

void BM_Utf8(benchmark::State& state) {
  std::string out;
  for (auto _ : state) {
    out.clear();
    if (state.range(0) == 0) {
      AppendUtf8(out, Field(state.range(1)));
    } else {
      out += outref::Convert(Field(state.range(1)), outref::Form::Utf8);
    }
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, state.range(1));
}

void BM_Json(benchmark::State& state) {
  std::string out;
  for (auto _ : state) {
    out.clear();
    if (state.range(0) == 0) {
      JsonLine line(out);
      JsonField(line, "commandLine", Field(state.range(1)));
      EndJson(line);
    } else {
      out +=
          "{\"commandLine\":" + outref::Convert(Field(state.range(1)), outref::Form::Json) + "}\n";
    }
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, state.range(1));
}

void BM_Csv(benchmark::State& state) {
  std::string out;
  for (auto _ : state) {
    out.clear();
    if (state.range(0) == 0) {
      AppendCsvField(out, Field(state.range(1)));
    } else {
      out += outref::CsvField(Field(state.range(1)));
    }
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, state.range(1));
}

void Forms(benchmark::internal::Benchmark* b) {
  b->ArgNames({"reference", "field"});
  for (int reference : {0, 1}) {
    for (int field : {0, 1, 2, 3}) b->Args({reference, field});
  }
}
BENCHMARK(BM_Utf8)->Apply(Forms);
BENCHMARK(BM_Json)->Apply(Forms);
BENCHMARK(BM_Csv)->Apply(Forms);

}  // namespace

BENCHMARK_MAIN();
