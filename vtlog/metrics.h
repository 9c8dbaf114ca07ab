// "vtlog metrics": the state of components' runs and logs in the Prometheus
// text exposition format, for node_exporter's textfile collector.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vtlog/output.h"

struct MetricsOptions {
  std::vector<std::u16string> components{u"Orbeck"};
  std::int64_t lostAfterHours = 24;
  // Written beside this path and renamed over it, so that the collector
  // never reads half a file; empty: standard output.
  std::string outputFile{};
};

// What a component's logs and configuration say now.
struct ComponentMetrics {
  std::u16string component;
  std::int64_t started = 0;
  std::int64_t succeeded = 0;
  std::int64_t failed[4] = {0, 0, 0, 0};  // by the end record's class, as kFailureClasses
  std::int64_t lost = 0;                  // over: a later start of its job identifier
  std::int64_t open = 0;                  // still open within the lost-after bound
  std::int64_t openTooLong = 0;           // open for longer: hung or killed
  std::int64_t writeErrorRecords = 0;
  std::int64_t nameErrorRecords = 0;
  std::int64_t lastSuccessMs = 0;  // Unix time of the last successful end; 0: none
  std::int64_t logBytes = 0;
  std::int64_t generations = 0;
  std::int64_t checkErrors = 0;
  std::int64_t checkWarnings = 0;
};

inline constexpr const char* kFailureClasses[4] = {"information", "warning", "error", "othererror"};

ComponentMetrics CollectMetrics(const std::u16string& component, std::int64_t lostAfterHours);
// The exposition text of the components, each family once with its help and type.
std::string MetricsText(const std::vector<ComponentMetrics>& components);
// kExitOk, or kExitUnknown when the file cannot be written.
int RunMetrics(const MetricsOptions& options, VtlogOutput& output);
