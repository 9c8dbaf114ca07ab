// Helpers shared by the files of the POSIX backend.
#pragma once

#include <string>

namespace plat::posix {

// The system's form of a launcher path: UTF-8, every "\" turned into "/".
std::string SystemPath(const std::u16string& path);

}  // namespace plat::posix
