#include "cmdline/options.h"

#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace {

constexpr std::size_t kNotFound = std::u16string_view::npos;

// Position right after the first occurrence of name at a word start (the
// first character, or one right after a space), or kNotFound. Every word
// start is tried: the launcher's names are four characters long, so the
// search stays linear in the line.
std::size_t FindOptionEnd(std::u16string_view text, std::u16string_view name) {
  if (name.empty()) return kNotFound;
  for (std::size_t start = 0; start < text.size(); ++start) {
    if ((start == 0 || text[start - 1] == u' ') && text.substr(start).starts_with(name)) {
      return start + name.size();
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
  // The characters move down one by one into a kept prefix that never holds
  // an occurrence. An occurrence that a new character completes is the
  // leftmost of the whole text, the one a fresh search from the beginning
  // would cut next, so cutting it at once gives the same result, also where
  // a cut brings the two sides of a new occurrence together.
  std::size_t kept = 0;
  for (const char16_t c : text) {
    text[kept++] = c;
    if (kept >= part.size() &&
        std::u16string_view(text).substr(kept - part.size(), part.size()) == part) {
      kept -= part.size();
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
