// The environment on POSIX.
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

}  // namespace plat
