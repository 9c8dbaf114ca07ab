// Services of the platform that only tests and test programs use: starting
// and waiting for processes, the program's own directory, setting the
// environment, the wide string table, reading and dismissing message boxes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

namespace plat {

// Sets (or, with remove, deletes) a variable of this process; children inherit it.
bool SetEnvironment(const std::u16string& name, const std::u16string& value, bool remove = false);

// Wide text of a string id; empty when missing.
std::u16string LoadWideString(ModuleHandle module, unsigned id);
// Waits up to timeoutMs for a message box with this caption, reads its text as
// the box holds it (narrow, ANSI code page) and presses OK. False when none
// appeared, and always on POSIX, where boxes go to standard error.
bool DismissMessageBox(const std::string& caption, int timeoutMs, std::string& text);
// Text in the system's ANSI code page (UTF-8 on POSIX).
std::string ToAnsiCodePage(const std::u16string& text);

struct ProcessObject;
struct ProcessCloser {
  void operator()(ProcessObject* process) const;
};
using Process = std::unique_ptr<ProcessObject, ProcessCloser>;

// Starts exe with the given command line (the text after the program name).
// On POSIX the command line reaches the child as its single argument.
Process StartProcess(const std::u16string& exe, const std::u16string& commandLine);
// Waits for the process; the full 32-bit exit code on Windows, the low 8 bits
// (sign-extended is not attempted) on POSIX.
bool WaitProcess(ProcessObject& process, std::int64_t& exitCode);

// Directory of the running executable, without a trailing separator.
std::u16string ExecutableDirectory();

// Ends a started process at once, as a kill by its id does (TerminateProcess,
// SIGKILL): no cleanup of its own runs. WaitProcess then reaps it.
bool KillProcess(ProcessObject& process);

}  // namespace plat
