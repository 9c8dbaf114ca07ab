#include "cmdline/normalize.h"

#include <array>

namespace {

constexpr char16_t kSpace = u' ';
constexpr char16_t kQuote = u'"';
constexpr char16_t kHyphen = u'-';

// The white space that makes a quoted option worth unquoting. Only the space
// separates tokens; the rest are ordinary characters to the tokeniser.
constexpr std::array<char16_t, 18> kWhiteSpace = {
    u'\u0020', u'\u0009', u'\u00A0', u'\u1680', u'\u2000', u'\u2001',
    u'\u2002', u'\u2003', u'\u2004', u'\u2005', u'\u2006', u'\u2007',
    u'\u2008', u'\u2009', u'\u200A', u'\u202F', u'\u205F', u'\u3000'};

bool IsOptionNameChar(char16_t c) {
  return c == u'#' || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') ||
         (c >= u'a' && c <= u'z');
}

// Position after the first `c` at or after `from`, or the end of the text.
std::size_t PastNext(std::u16string_view text, char16_t c, std::size_t from) {
  std::size_t at = text.find(c, from);
  return at == std::u16string_view::npos ? text.size() : at + 1;
}

// Position of the first space at or after `from`, or the end of the text.
std::size_t UpToSpace(std::u16string_view text, std::size_t from) {
  std::size_t at = text.find(kSpace, from);
  return at == std::u16string_view::npos ? text.size() : at;
}

// End of the token that starts at p (text[p] is not a space).
std::size_t TokenEnd(std::u16string_view text, std::size_t p) {
  const std::size_t n = text.size();
  const char16_t c = text[p];
  if (c == kQuote && p + 1 < n && text[p + 1] == kHyphen) {
    // A whole option quoted because it holds spaces: it ends at a quote that
    // closes a word, so quotes inside the option's value stay part of it.
    for (std::size_t q = p + 2; q < n; ++q) {
      if (text[q] == kQuote && (q + 1 == n || text[q + 1] == kSpace)) return q + 1;
    }
    return n;
  }
  if (c == kHyphen) {
    std::size_t q = p + 1;
    while (q < n && IsOptionNameChar(text[q])) ++q;
    if (q == n) return n;
    // A quote right after the name opens the value; elsewhere it is ordinary.
    if (text[q] == kQuote) return PastNext(text, kQuote, q + 1);
    return UpToSpace(text, q);
  }
  if (c == kQuote) return PastNext(text, kQuote, p + 1);
  return UpToSpace(text, p);
}

}  // namespace

std::vector<std::u16string> SplitCommandLineTokens(std::u16string_view text) {
  std::vector<std::u16string> tokens;
  std::size_t p = 0;
  while (p < text.size()) {
    if (text[p] == kSpace) {
      ++p;
      continue;
    }
    const std::size_t end = TokenEnd(text, p);
    tokens.emplace_back(text.substr(p, end - p));
    p = end;
  }
  return tokens;
}

bool ContainsWhiteSpace(std::u16string_view text) {
  for (char16_t c : kWhiteSpace) {
    if (text.find(c) != std::u16string_view::npos) return true;
  }
  return false;
}

std::u16string NormalizeCommandLine(std::u16string_view text) {
  std::u16string result;
  result.reserve(text.size());
  bool first = true;
  for (const std::u16string& token : SplitCommandLineTokens(text)) {
    std::u16string_view part = token;
    if (part.size() >= 2 && part.front() == kQuote && part[1] == kHyphen && part.back() == kQuote &&
        ContainsWhiteSpace(part)) {
      part = part.substr(1, part.size() - 2);
    }
    if (!first) result.push_back(kSpace);
    result.append(part);
    first = false;
  }
  return result;
}
