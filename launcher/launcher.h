// The launcher driver: one job of component Orbeck per run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/platform.h"

// The command line a GUI program receives: the full process command line
// without the program's name (quotes switch a quoted stretch on and off) and
// without the characters up to U+0020 that follow it.
std::u16string CommandLineAfterProgramName(std::u16string_view fullCommandLine);

// The whole run; returns the exit code.
std::int32_t RunLauncher(plat::ModuleHandle instance, std::u16string commandLine);
