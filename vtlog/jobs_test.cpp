#include "vtlog/jobs.h"

#include <gtest/gtest.h>

#include "tests/support/test_install.h"

namespace {

ExecRecord At(const char16_t* job, int code, int second) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "2026/12/05,18:%02d:%02d.250", second / 60, second % 60);
  const std::u16string line = vtlogtest::Record(stamp, job, code, u"-x");
  ExecRecord record;
  EXPECT_TRUE(ParseExecRecord(line.substr(0, line.size() - 2), record));
  return record;
}

constexpr RecordOrigin E = RecordOrigin::ErrorFile;

struct Rec {
  const char16_t* job;
  int code;
  int second;
  RecordOrigin origin = RecordOrigin::Log;
};

// Records in the order they are paired; the runs as they are handed out.
std::string Outcomes(std::initializer_list<Rec> records, std::int64_t lostBefore = INT64_MIN) {
  std::string out;
  JobPairing pairing;
  pairing.lostBefore = lostBefore;
  pairing.onRun = [&](const PairedJob& run) {
    out += plat::ToUtf8(run.job) + "=" + OutcomeText(run);
    std::int64_t ms = 0;
    if (JobDurationMs(run, ms)) out += " " + FormatDuration(ms);
    out += ";";
  };
  for (const Rec& r : records) AddJobRecord(pairing, At(r.job, r.code, r.second), r.origin);
  FinishJobPairing(pairing);
  return out;
}

TEST(VtlogJobsTest, PairsStartsWithEnds) {
  struct Case {
    const char* name;
    std::string outcomes;
    const char* expected;
  };
  const Case cases[] = {
      {"success", Outcomes({{u"A", 101, 1}, {u"A", 102, 3}}), "A=success 0:00:02.000;"},
      {"failure prints the result", Outcomes({{u"A", 101, 1}, {u"A", 2911, 2}}),
       "A=failed -2911 0:00:01.000;"},
      {"code 0 is a failure", Outcomes({{u"A", 101, 1}, {u"A", 0, 2}}), "A=failed 0 0:00:01.000;"},
      {"interleaved jobs",
       Outcomes({{u"A", 101, 1}, {u"B", 101, 2}, {u"A", 102, 3}, {u"B", 1284, 70}}),
       "A=success 0:00:02.000;B=failed -1284 0:01:08.000;"},
      {"start without end", Outcomes({{u"A", 101, 1}}), "A=running;"},
      // Runs come out as they end; the ones without an end follow.
      {"identifier used again: the first run is lost",
       Outcomes({{u"A", 101, 1}, {u"A", 101, 5}, {u"A", 102, 6}}), "A=success 0:00:01.000;A=lost;"},
      {"same identifier at once: each end takes the newest start",
       Outcomes({{u"A", 101, 1}, {u"A", 101, 2}, {u"A", 102, 4}, {u"A", 2001, 7}}),
       "A=success 0:00:02.000;A=failed -2001 0:00:06.000;"},
      {"open runs in the order of their starts",
       Outcomes({{u"B", 101, 1}, {u"A", 101, 2}, {u"C", 101, 3}, {u"C", 102, 4}}),
       "C=success 0:00:01.000;B=running;A=running;"},
      {"end whose start was pruned", Outcomes({{u"A", 102, 1}, {u"B", 2001, 2}}),
       "A=success (no start);B=failed -2001;"},
      {"error-only mode: the copied start line before the failure",
       Outcomes({{u"A", 101, 1}, {u"A", 2911, 9}}), "A=failed -2911 0:00:08.000;"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.outcomes, c.expected) << c.name;
}

// The write-error file holds what missed the log: 101 when the log refused
// access to a start, 1283 for any other record then, 1284 for a start or end
// whose attempts ran out.
TEST(VtlogJobsTest, RecordsThatMissedTheLogPairUp) {
  const std::int64_t lostBefore = RecordTimeKey(At(u"x", 101, 50));
  struct Case {
    const char* name;
    std::string outcomes;
    const char* expected;
  };
  const Case cases[] = {
      {"end written there", Outcomes({{u"A", 101, 1}, {u"A", 1284, 3, E}}),
       "A=failed -1284 0:00:02.000;"},
      {"access refused to both", Outcomes({{u"A", 101, 1, E}, {u"A", 1283, 2, E}}),
       "A=failed -1283 0:00:01.000;"},
      {"start written there, end in the log", Outcomes({{u"A", 1284, 1, E}, {u"A", 102, 4}}),
       "A=success 0:00:03.000;"},
      {"start and end written there", Outcomes({{u"A", 1284, 1, E}, {u"A", 1284, 2, E}}),
       "A=failed -1284 0:00:01.000;"},
      {"1284 alone is an end whose start is gone", Outcomes({{u"A", 1284, 1, E}}),
       "A=failed -1284;"},
      {"1284 alone, then the identifier again",
       Outcomes({{u"A", 1284, 1, E}, {u"A", 101, 5}, {u"A", 102, 6}}),
       "A=failed -1284;A=success 0:00:01.000;"},
      {"1284 in the log is an end", Outcomes({{u"A", 1284, 1}, {u"A", 102, 2}}),
       "A=failed -1284;A=success (no start);"},
      {"an end long overdue is lost", Outcomes({{u"A", 101, 49}, {u"B", 101, 50}}, lostBefore),
       "A=lost;B=running;"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.outcomes, c.expected) << c.name;
}

TEST(VtlogJobsTest, DurationsCrossMidnight) {
  ExecRecord start, end;
  ASSERT_TRUE(ParseExecRecord(u"2026/12/31,23:59:59.900,A,Information:HS-00-01-0101,,,,,,", start));
  ASSERT_TRUE(ParseExecRecord(u"2027/01/01,00:00:00.100,A,Information:HS-00-01-0102,,,,,,", end));
  PairedJob run;
  run.hasStart = run.hasEnd = true;
  run.start = start;
  run.end = end;
  std::int64_t ms = 0;
  ASSERT_TRUE(JobDurationMs(run, ms));
  EXPECT_EQ(ms, 200);
}

// A run leaves the pairing as soon as its end is read: a log of any length
// keeps no more than the runs still open.
TEST(VtlogJobsTest, FinishedRunsAreNotKept) {
  int handedOut = 0;
  JobPairing pairing;
  pairing.onRun = [&](const PairedJob&) { ++handedOut; };
  // Each job ends after the next one has started.
  const char16_t* const jobs[] = {u"1", u"2", u"3"};
  for (int i = 0; i < 3000; ++i) {
    AddJobRecord(pairing, At(jobs[i % 3], 101, i % 3600));
    AddJobRecord(pairing, At(jobs[(i + 2) % 3], i % 2 == 0 ? 102 : 2911, i % 3600));
    ASSERT_EQ(handedOut, i + 1);
    ASSERT_EQ(pairing.open.size(), 1u);
  }
  FinishJobPairing(pairing);
  EXPECT_EQ(handedOut, 3001);
  EXPECT_TRUE(pairing.open.empty());
}

}  // namespace
