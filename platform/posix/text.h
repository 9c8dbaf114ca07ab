// The POSIX backend's passage of the launcher's text to the system, shared by
// its files.
#pragma once

#include <string>

namespace plat::posix {

// The system's form of a launcher path: UTF-8, every "\" turned into "/".
std::string SystemPath(const std::u16string& path);

// Called, when set, between the open and the lock of a file about to be moved
// or deleted, with its system path: tests hand the name to another file there.
inline void (*guardOpenedHook)(const std::string& sys) = nullptr;

}  // namespace plat::posix
