// vtlog: the operators' console program for the execution logs and the log
// configuration of the suite's components.
#pragma once

#include <string>
#include <vector>

#include "vtlog/output.h"

// Runs one command (show, jobs, check, rotate) with its options; returns the
// exit code (kExitOk ... kExitUnknown). Output is buffered and handed on in
// blocks, and at each flush.
int RunVtlog(const std::vector<std::string>& args, VtlogOutput& output);
