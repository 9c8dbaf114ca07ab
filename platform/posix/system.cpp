// The environment on POSIX.
#include <signal.h>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/testing.h"
#include "platform/text.h"

namespace plat {
namespace {

bool ValidName(const std::string& name) {
  return !name.empty() && name.find_first_of(std::string("=\0", 2)) == std::string::npos;
}

}  // namespace

bool GetEnvironment(const std::u16string& name, std::u16string& value) {
  const std::string narrow = ToUtf8(name);
  if (!ValidName(narrow)) return false;
  const char* found = std::getenv(narrow.c_str());
  if (found == nullptr) return false;
  value = FromUtf8(found);
  return true;
}

bool SetEnvironment(const std::u16string& name, const std::u16string& value, bool remove) {
  const std::string narrow = ToUtf8(name);
  if (!ValidName(narrow)) return false;
  if (remove) return unsetenv(narrow.c_str()) == 0;
  return setenv(narrow.c_str(), ToUtf8(value).c_str(), 1) == 0;
}

namespace {
volatile sig_atomic_t stopRequested = 0;
extern "C" void NoteStopRequest(int) {
  stopRequested = 1;
}
}  // namespace

void WatchStopRequests() {
  struct sigaction action {};
  action.sa_handler = NoteStopRequest;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
}

bool StopRequested() {
  return stopRequested != 0;
}

}  // namespace plat
