// Services of the platform that only tests and test programs use: starting
// and waiting for processes, the program's own directory, setting the
// environment, reading and dismissing message boxes.
#pragma once

#include "platform/platform.h"

namespace plat {

// Ends a started process at once, as a kill by its id does (TerminateProcess,
// SIGKILL): no cleanup of its own runs. WaitProcess then reaps it.
bool KillProcess(ProcessObject& process);

}  // namespace plat
