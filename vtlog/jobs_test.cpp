#include "vtlog/jobs.h"

#include <gtest/gtest.h>

#include "vtlog/test_install.h"

namespace {

// "job:code@second" records, in log order.
JobPairing Pair(std::initializer_list<std::tuple<const char16_t*, int, int>> records) {
  JobPairing pairing;
  for (const auto& [job, code, second] : records) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2026/12/05,18:%02d:%02d.250", second / 60, second % 60);
    const std::u16string line = vtlogtest::Record(stamp, job, code, u"-x");
    ExecRecord record;
    EXPECT_TRUE(ParseExecRecord(line.substr(0, line.size() - 2), record));
    AddJobRecord(pairing, record);
  }
  FinishJobPairing(pairing);
  return pairing;
}

std::string Outcomes(const JobPairing& pairing) {
  std::string out;
  for (const PairedJob& run : pairing.runs) {
    out += plat::ToUtf8(run.job) + "=" + OutcomeText(run);
    std::int64_t ms = 0;
    if (JobDurationMs(run, ms)) out += " " + FormatDuration(ms);
    out += ";";
  }
  return out;
}

TEST(VtlogJobsTest, PairsStartsWithEnds) {
  struct Case {
    const char* name;
    JobPairing pairing;
    const char* outcomes;
  };
  const Case cases[] = {
      {"success", Pair({{u"A", 101, 1}, {u"A", 102, 3}}), "A=success 0:00:02.000;"},
      {"failure prints the result", Pair({{u"A", 101, 1}, {u"A", 2911, 2}}),
       "A=failed -2911 0:00:01.000;"},
      {"code 0 is a failure", Pair({{u"A", 101, 1}, {u"A", 0, 2}}), "A=failed 0 0:00:01.000;"},
      {"interleaved jobs", Pair({{u"A", 101, 1}, {u"B", 101, 2}, {u"A", 102, 3}, {u"B", 1284, 70}}),
       "A=success 0:00:02.000;B=failed -1284 0:01:08.000;"},
      {"start without end", Pair({{u"A", 101, 1}}), "A=running;"},
      {"identifier used again: the first run is lost",
       Pair({{u"A", 101, 1}, {u"A", 101, 5}, {u"A", 102, 6}}), "A=lost;A=success 0:00:01.000;"},
      {"end whose start was pruned", Pair({{u"A", 102, 1}, {u"B", 2001, 2}}),
       "A=success (no start);B=failed -2001;"},
      {"error-only mode: the copied start line before the failure",
       Pair({{u"A", 101, 1}, {u"A", 2911, 9}}), "A=failed -2911 0:00:08.000;"},
  };
  for (const Case& c : cases) EXPECT_EQ(Outcomes(c.pairing), c.outcomes) << c.name;
}

TEST(VtlogJobsTest, DurationsCrossMidnight) {
  ExecRecord start, end;
  ASSERT_TRUE(ParseExecRecord(u"2026/12/31,23:59:59.900,A,Information:HS-00-01-0101,,,,,,", start));
  ASSERT_TRUE(ParseExecRecord(u"2027/01/01,00:00:00.100,A,Information:HS-00-01-0102,,,,,,", end));
  JobPairing pairing;
  AddJobRecord(pairing, start);
  AddJobRecord(pairing, end);
  std::int64_t ms = 0;
  ASSERT_TRUE(JobDurationMs(pairing.runs[0], ms));
  EXPECT_EQ(ms, 200);
}

}  // namespace
