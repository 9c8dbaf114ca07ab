// Services of the platform that only tests and test programs use: starting
// and waiting for processes, the program's own directory, setting the
// environment, reading and dismissing message boxes.
#pragma once

#include "platform/platform.h"
