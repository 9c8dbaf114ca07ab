// A library that loads but lacks the engine's entry point, for the test of a
// missing export.
#include <cstdint>

extern "C" std::int32_t NotTheEngineEntry() {
  return 0;
}
