// The tokeniser and the normaliser on arbitrary command lines.
//
// Normalising twice is not always the same as once: unquoting `"- "` leaves
// `- `, whose trailing space the next pass drops, and nested quoted options
// lose one layer per pass. So only what a single pass guarantees is checked.
#include <cstdlib>

#include "cmdline/normalize.h"
#include "fuzz/fuzz_text.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::u16string Without(std::u16string_view text, std::u16string_view drop) {
  std::u16string out;
  for (char16_t c : text) {
    if (drop.find(c) == std::u16string_view::npos) out.push_back(c);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qvfuzz::ByteReader reader{data, size};
  const std::u16string line = reader.Text(40000);

  // Tokens cover the line in order, with only spaces between them.
  const std::vector<std::u16string> tokens = SplitCommandLineTokens(line);
  Check(tokens.size() <= line.size());
  std::size_t p = 0;
  for (const std::u16string& token : tokens) {
    while (p < line.size() && line[p] == u' ') ++p;
    Check(!token.empty() && token.front() != u' ');
    Check(line.compare(p, token.size(), token) == 0);
    p += token.size();
  }
  while (p < line.size() && line[p] == u' ') ++p;
  Check(p == line.size());

  // One pass changes only spaces and drops the quotes around whole options.
  const std::u16string out = NormalizeCommandLine(line);
  Check(out.empty() == tokens.empty());
  Check(out.empty() || out.front() != u' ');
  Check(Without(out, u" \"") == Without(line, u" \""));
  const std::size_t quotesIn = line.size() - Without(line, u"\"").size();
  const std::size_t quotesOut = out.size() - Without(out, u"\"").size();
  Check(quotesOut <= quotesIn && (quotesIn - quotesOut) % 2 == 0);
  Check(out.size() + 1 <= line.size() + tokens.size() || out.empty());

  // Without quotes the result is the words joined by single spaces, and a
  // second pass changes nothing.
  if (line.find(u'"') == std::u16string::npos) {
    std::u16string words;
    for (const std::u16string& token : tokens) {
      if (!words.empty()) words.push_back(u' ');
      words += token;
    }
    Check(out == words);
    Check(NormalizeCommandLine(out) == out);
  }

  // White space anywhere in the set is found wherever it stands.
  Check(ContainsWhiteSpace(line) == (Without(line,
                                             u" \t\u00A0\u1680\u2000\u2001\u2002\u2003"
                                             u"\u2004\u2005\u2006\u2007\u2008\u2009"
                                             u"\u200A\u202F\u205F\u3000")
                                         .size() != line.size()));
  return 0;
}
