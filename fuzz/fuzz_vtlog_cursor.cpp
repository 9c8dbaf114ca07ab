// The cursor file reader on any bytes: what it takes is written back to the
// same cursor, so a saved cursor always loads as saved.
#include "fuzz/fuzz_text.h"
#include "vtlog/cursor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string prefix = size > 0 && data[0] % 2 ? "vtlog cursor 1\n" : "";
  const std::string text = prefix + std::string(reinterpret_cast<const char*>(data), size);
  ShipCursor cursor;
  if (!ParseCursor(text, cursor)) return 0;
  ShipCursor again;
  qvfuzz::Check(ParseCursor(FormatCursor(cursor), again));
  qvfuzz::Check(FormatCursor(again) == FormatCursor(cursor));
  return 0;
}
