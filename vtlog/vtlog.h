// vtlog: the operators' console program for the execution logs and the log
// configuration of the suite's components.
#pragma once

#include <string>
#include <vector>

#include "vtlog/output.h"

// Runs one subcommand (show, jobs, check, rotate) with its options; returns
// the exit code. Usage errors answer 2.
int RunVtlog(const std::vector<std::string>& args, VtlogOutput& output);
