// The job bracket: everything the launcher does before and after the engine
// call of one job.
#pragma once

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "execlog/log_settings.h"
#include "platform/platform.h"

// The records of one run, owned by the entry point's frame.
struct JobRun {
  plat::ModuleHandle module = nullptr;
  std::string caption;  // string 1002, narrow
  std::u16string programDir;
  std::u16string commandLine;
  int engineAllowed = 1;
  std::int32_t result = 0;
  int apiGiven = 0;
  std::u16string jobId;
  int jobIdInvalid = 0;
  std::u16string logFileOption;
  int logWriteEnabled = 0;
  LogSettings settings;
  std::int32_t startResult = 0;
  std::u16string jobFilePath;
};

void PrepareJob(JobRun& run);
void CompleteJob(JobRun& run, EngineRunStatus engineStatus);
