// Leaves with the number given as its command line ("exit_with -2001"), so
// that the tests can see what exit code reaches a parent process.
#include <charconv>
#include <cstdint>
#include <cstring>

int main(int argc, char** argv) {
  if (argc < 2) return 0;
  std::int32_t code = 0;
  std::from_chars(argv[1], argv[1] + std::strlen(argv[1]), code);
  return code;
}
