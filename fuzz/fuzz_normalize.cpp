// The tokeniser and the normaliser on any command line. Tokens cover the line
// in order with spaces between; one pass keeps every other character and drops
// quotes only in pairs (a second pass may drop more: quotes lose one layer each).
#include <algorithm>

#include "cmdline/normalize.h"
#include "fuzz/fuzz_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qvfuzz::Check;
  const std::u16string line = qvfuzz::Text(data, size, qvfuzz::kCommandLine);
  std::size_t p = 0;
  for (const std::u16string& token : SplitCommandLineTokens(line)) {
    p = line.find_first_not_of(u' ', p);
    Check(!token.empty() && line.compare(p, token.size(), token) == 0);
    p += token.size();
  }
  Check(line.find_first_not_of(u' ', p) == std::u16string::npos);
  const std::u16string out = NormalizeCommandLine(line);
  std::u16string strippedIn = line;
  std::u16string strippedOut = out;
  for (std::u16string* text : {&strippedIn, &strippedOut})
    std::erase_if(*text, [](char16_t c) { return c == u' ' || c == u'"'; });
  const auto quotesIn = std::count(line.begin(), line.end(), u'"');
  const auto quotesOut = std::count(out.begin(), out.end(), u'"');
  Check(strippedIn == strippedOut && quotesOut <= quotesIn && (quotesIn - quotesOut) % 2 == 0);
  Check(quotesIn > 0 || NormalizeCommandLine(out) == out);
  return 0;
}
