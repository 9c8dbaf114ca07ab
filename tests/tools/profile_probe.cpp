// Private-profile reads against a table (tests/profile/cases.txt) of files and
// answers: the Windows build asks the system, the POSIX build its own reader.
// usage: profile_probe TABLE, whose lines are
//   file NAME bytes|utf16|dir TEXT | value TEXT = N (the integer of K=TEXT in [I])
//   str FILE SECTION KEY DEFAULT CAPACITY = TEXT | int FILE SECTION KEY DEFAULT = N
// TEXT quoted, escapes \\ \" \r \n \t \0 \xHH \uHHHH (a unit; a byte in "bytes").
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

// The words of a line, quoted texts with their escapes resolved.
std::vector<std::u16string> Words(const std::string& line) {
  const std::string from = "\\\"rnt0";
  const std::string to("\\\"\r\n\t\0", 6);
  std::vector<std::u16string> words;
  for (std::size_t i = line.find_first_not_of(' '); i < line.size();
       i = line.find_first_not_of(' ', i + 1)) {
    const bool quoted = line[i] == '"';
    std::u16string word;
    for (i += quoted; i < line.size() && line[i] != (quoted ? '"' : ' '); ++i) {
      if (!quoted || line[i] != '\\') {
        word += static_cast<unsigned char>(line[i]);
      } else if (from.find(line[++i]) != std::string::npos) {
        word += static_cast<unsigned char>(to[from.find(line[i])]);
      } else {
        const std::size_t n = line[i] == 'x' ? 2 : 4;
        word += static_cast<char16_t>(std::stoul(line.substr(i + 1, n), nullptr, 16));
        i += n;
      }
    }
    words.push_back(word);
  }
  return words;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: profile_probe TABLE\n");
    return 2;
  }
  qvtest::ScopedTempDir scratch;
  std::ifstream table(argv[1], std::ios::binary);
  int queries = 0;
  int failures = 0;
  std::string line;
  for (int number = 1; std::getline(table, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::u16string> w = Words(line);
    const std::string verb = w.empty() ? "#" : plat::ToUtf8(w[0]);
    std::u16string got;
    if (verb[0] == '#') continue;
    if (verb == "file" && w.size() >= 3) {
      if (w[2] == u"dir") std::filesystem::create_directory(qvtest::NativePath(scratch / w[1]));
      if (w[2] == u"bytes")
        qvtest::WriteBytes(scratch / w[1], std::string(w[3].begin(), w[3].end()));
      if (w[2] == u"utf16") qvtest::WriteBytes(scratch / w[1], qvtest::Utf16Le(w[3]));
      continue;
    } else if (verb == "value" && w.size() == 4) {
      qvtest::WriteBytes(scratch / u"value.ini",
                         "[I]\r\nK=" + std::string(w[1].begin(), w[1].end()));
      got =
          plat::Widen(std::to_string(plat::ReadProfileInt(u"I", u"K", 77, scratch / u"value.ini")));
    } else if (verb == "str" && w.size() == 8) {
      got =
          plat::ReadProfileString(w[2], w[3], w[4], std::stoul(plat::ToUtf8(w[5])), scratch / w[1]);
    } else if (verb == "int" && w.size() == 7) {
      const int def = std::stoi(plat::ToUtf8(w[4]));
      got = plat::Widen(std::to_string(plat::ReadProfileInt(w[2], w[3], def, scratch / w[1])));
    } else {
      got = u"a malformed line";
    }
    ++queries;
    if (got != w.back()) {
      ++failures;
      std::printf("%s:%d: [%s], recorded [%s]\n", argv[1], number, plat::ToUtf8(got).c_str(),
                  plat::ToUtf8(w.back()).c_str());
    }
  }
  std::printf("%d queries, %d failures\n", queries, failures);
  return failures == 0 && queries > 0 ? 0 : 1;
}
