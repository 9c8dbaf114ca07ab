// The POSIX backend's passage of the launcher's text to the system.
#pragma once

#include <string>

namespace plat::posix {

// The system's form of a launcher path: UTF-8, every "\" turned into "/".
std::string SystemPath(const std::u16string& path);

}  // namespace plat::posix
