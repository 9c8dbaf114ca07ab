#include "cmdline/options.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"

namespace {

// Failure links of part for a left-to-right matcher: fail[i] is the length of
// the longest proper border of part[0..i]. They let the option search and the
// removal read each character of a 32,767-character line once, whatever the
// line holds.
std::vector<std::size_t> FailureLinks(std::u16string_view part) {
  std::vector<std::size_t> fail(part.size(), 0);
  std::size_t k = 0;
  for (std::size_t i = 1; i < part.size(); ++i) {
    while (k > 0 && part[i] != part[k]) k = fail[k - 1];
    if (part[i] == part[k]) ++k;
    fail[i] = k;
  }
  return fail;
}

// Matched length after reading c with matched characters already matched
// (matched < part.size()).
std::size_t Advance(std::u16string_view part, const std::vector<std::size_t>& fail,
                    std::size_t matched, char16_t c) {
  while (matched > 0 && part[matched] != c) matched = fail[matched - 1];
  return part[matched] == c ? matched + 1 : 0;
}

constexpr std::size_t kNotFound = std::u16string_view::npos;

// Position right after the first occurrence of name at a word start, or
// kNotFound. Occurrences are met in order of their start, so the first one at
// a word start is the leftmost.
std::size_t FindOptionEnd(std::u16string_view text, std::u16string_view name) {
  if (text.empty() || name.empty()) return kNotFound;
  const std::vector<std::size_t> fail = FailureLinks(name);
  std::size_t matched = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    matched = Advance(name, fail, matched, text[i]);
    if (matched == name.size()) {
      const std::size_t start = i + 1 - name.size();
      if (start == 0 || text[start - 1] == u' ') return i + 1;
      matched = fail[matched - 1];
    }
  }
  return kNotFound;
}

bool IsAsciiLetterOrDigit(char16_t c) {
  return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

constexpr std::size_t kMaxJobIdLength = 128;

}  // namespace

int HasOption(std::u16string_view text, std::u16string_view name) {
  return FindOptionEnd(text, name) == kNotFound ? 0 : 1;
}

std::u16string GetOptionValue(std::u16string_view text, std::u16string_view name) {
  const std::size_t k = FindOptionEnd(text, name);
  if (k == kNotFound) return {};
  if (k < text.size() && text[k] == u'"') {
    const std::size_t close = text.find(u'"', k + 1);
    return std::u16string(text.substr(k + 1, close == kNotFound ? kNotFound : close - k - 1));
  }
  const std::size_t space = text.find(u' ', k);
  return std::u16string(text.substr(k, space == kNotFound ? kNotFound : space - k));
}

void RemoveAllOccurrences(std::u16string& text, std::u16string_view part) {
  if (part.empty()) return;
  // The kept prefix text[0..kept) never holds an occurrence; the characters
  // are moved down into it one by one. An occurrence completed by a new
  // character is the leftmost of the whole text, exactly the one a fresh
  // search from the beginning would cut next, so cutting it at once gives
  // the same result. matchedAt[j] remembers the match state after kept
  // character j, so that a cut resumes where the shortened prefix left off.
  const std::vector<std::size_t> fail = FailureLinks(part);
  std::vector<std::size_t> matchedAt(text.size());
  std::size_t kept = 0;
  std::size_t matched = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    matched = Advance(part, fail, matched, c);
    text[kept] = c;
    matchedAt[kept] = matched;
    ++kept;
    if (matched == part.size()) {
      kept -= part.size();
      matched = kept == 0 ? 0 : matchedAt[kept - 1];
    }
  }
  text.resize(kept);
}

bool ValidateJobId(std::u16string& jobId) {
  bool valid = jobId.size() <= kMaxJobIdLength;
  for (std::size_t i = 0; valid && i < jobId.size(); ++i) valid = IsAsciiLetterOrDigit(jobId[i]);
  if (!valid) jobId = u"vtJobIdError";
  return valid;
}

std::uint32_t JobNumberSeed(std::int64_t seconds, int milliseconds,
                            std::u16string_view commandLine) {
  // In double from the start: a clock far in the future must not overflow.
  const double t = static_cast<double>(seconds) * 1000.0 + milliseconds;
  const std::size_t n = commandLine.size();
  const int c1 = n > 5 ? commandLine[n - 5] : u'd';
  const int c2 = n > 10 ? commandLine[n - 10] : u'e';
  double v = t * 10.0 + c1 + 10 * c2;
  while (v > 999999999999999.0) v /= 10.0;
  // The last nine digits of the zero-padded text; a clock before 1970 gives a
  // negative value and a sign in front, which the nine digits never reach.
  char digits[400];
  const int length = std::snprintf(digits, sizeof digits, "%016.0f", v);
  std::uint32_t seed = 0;
  for (int i = length - 9; i < length; ++i) {
    seed = seed * 10 + static_cast<std::uint32_t>(digits[i] - '0');
  }
  return seed;
}

int GenerateJobNumber(std::u16string_view commandLine) {
  const plat::WallClock now = plat::Now();
  std::srand(JobNumberSeed(now.seconds, now.milliseconds, commandLine));
  int r = std::rand();
  while (r > 99999) r /= 10;
  return r;
}
