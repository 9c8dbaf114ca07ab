// Child processes, the program's own location and console programs on POSIX.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/platform.h"
#include "platform/posix/text.h"
#include "platform/testing.h"
#include "platform/text.h"

struct plat::ProcessObject {
  pid_t pid = -1;
  bool ended = false;
  std::int64_t exitCode = 0;
};

namespace plat {

void ProcessCloser::operator()(ProcessObject* process) const {
  if (process == nullptr) return;
  // Closing does not wait, as closing a process handle does not; a child that
  // has already ended is reaped so that it leaves no zombie behind.
  if (!process->ended) waitpid(process->pid, nullptr, WNOHANG);
  delete process;
}

Process StartProcess(const std::u16string& exe, const std::u16string& commandLine) {
  std::string program = posix::SystemPath(exe);
  std::string argument = ToUtf8(commandLine);
  char* argv[] = {program.data(), commandLine.empty() ? nullptr : argument.data(), nullptr};
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) return nullptr;
  return Process(new ProcessObject{pid});
}

bool WaitProcess(ProcessObject& process, std::int64_t& exitCode) {
  if (!process.ended) {
    int status = 0;
    pid_t done = -1;
    do {
      done = waitpid(process.pid, &status, 0);
    } while (done < 0 && errno == EINTR);
    if (done != process.pid) return false;
    process.ended = true;
    process.exitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }
  exitCode = process.exitCode;
  return true;
}

bool KillProcess(ProcessObject& process) {
  return !process.ended && kill(process.pid, SIGKILL) == 0;
}

std::u16string ExecutableDirectory() {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", target.data(), target.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < target.size()) {
      target.resize(static_cast<std::size_t>(n));
      break;
    }
    target.resize(target.size() * 2);
  }
  const std::size_t slash = target.rfind('/');
  return slash == std::string::npos ? std::u16string() : FromUtf8(target.substr(0, slash));
}

std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  // StartProcess hands a child its whole command line as one argument.
  if (args.size() == 1 && args[0].find_first_of(" \t") != std::string::npos) {
    return SplitArguments(args[0]);
  }
  return args;
}

void UseUtf8Console() {}

}  // namespace plat
