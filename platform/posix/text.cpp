// Text at the POSIX system's boundary: UTF-8 throughout, "/" in paths.
#include "platform/posix/text.h"

#include "platform/testing.h"
#include "platform/text.h"

namespace plat {

std::string posix::SystemPath(const std::u16string& path) {
  std::string sys = ToUtf8(path);
  for (char& c : sys) {
    if (c == '\\') c = '/';
  }
  return sys;
}

// UTF-8 is this port's ANSI code page.
std::string ToAnsiCodePage(const std::u16string& text) {
  return ToUtf8(text);
}

}  // namespace plat
