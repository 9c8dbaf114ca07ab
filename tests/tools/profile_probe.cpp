// Differential probe of the private-profile reads. It builds the settings files
// of a case table in a scratch directory, puts every query of the table to
// plat::ReadProfileString or plat::ReadProfileInt and prints one line per
// answer. The Windows build (the system's own reads) and the POSIX build run
// the same table, so both must give the recorded answers.
//
//   profile_probe <table>            check: exit 1 on any differing answer
//   profile_probe <table> --record   reprint the table with the answers seen
//
// Table lines ("#" starts a comment line):
//   file <name> bytes|utf16|utf16be|dir <text>
//   str <file> <section> <key> <default> <capacity> = <text>
//   int <file> <section> <key> <default> = <number>
// A <text> is one or more quoted pieces joined by "+", each optionally
// repeated with "*count": "[S]\r\nK=" + "x"*300. Escapes: \\ \" \r \n \t \0,
// \xHH and \uHHHH (one code unit; a byte in a "bytes" file). "utf16" files get
// the byte-order mark FF FE, "utf16be" FE FF; "dir" makes a directory. A
// query's <file> is a path below the scratch directory ("\" between
// directories) and need not exist.
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/text.h"

namespace {

namespace fs = std::filesystem;

struct Cursor {
  const std::string& line;
  std::size_t pos = 0;
  std::string error;

  void SkipBlanks() {
    while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos >= line.size();
  }
  bool Fail(const std::string& what) {
    if (error.empty()) error = what + " at column " + std::to_string(pos + 1);
    return false;
  }
};

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool ReadWord(Cursor& in, std::string& word) {
  in.SkipBlanks();
  word.clear();
  while (in.pos < in.line.size() && in.line[in.pos] != ' ' && in.line[in.pos] != '\t') {
    word.push_back(in.line[in.pos++]);
  }
  return !word.empty() || in.Fail("word expected");
}

bool ReadNumber(Cursor& in, long long& value) {
  std::string word;
  if (!ReadWord(in, word)) return false;
  const char* end = word.data() + word.size();
  const std::from_chars_result result = std::from_chars(word.data(), end, value);
  return (result.ec == std::errc() && result.ptr == end) || in.Fail("number expected");
}

bool ReadEscape(Cursor& in, std::u16string& out) {
  if (in.pos >= in.line.size()) return in.Fail("escape cut short");
  const char c = in.line[in.pos++];
  int digits = 0;
  switch (c) {
    case '\\':
      out.push_back(u'\\');
      return true;
    case '"':
      out.push_back(u'"');
      return true;
    case 'r':
      out.push_back(u'\r');
      return true;
    case 'n':
      out.push_back(u'\n');
      return true;
    case 't':
      out.push_back(u'\t');
      return true;
    case '0':
      out.push_back(u'\0');
      return true;
    case 'x':
      digits = 2;
      break;
    case 'u':
      digits = 4;
      break;
    default:
      return in.Fail("unknown escape");
  }
  unsigned value = 0;
  for (int i = 0; i < digits; ++i) {
    const int h = in.pos < in.line.size() ? HexValue(in.line[in.pos]) : -1;
    if (h < 0) return in.Fail("hex digit expected");
    value = value * 16 + static_cast<unsigned>(h);
    ++in.pos;
  }
  out.push_back(static_cast<char16_t>(value));
  return true;
}

// "piece"*count + "piece" ...
bool ReadText(Cursor& in, std::u16string& text) {
  text.clear();
  for (;;) {
    in.SkipBlanks();
    if (in.pos >= in.line.size() || in.line[in.pos] != '"') return in.Fail("quoted text expected");
    ++in.pos;
    std::u16string piece;
    for (;;) {
      if (in.pos >= in.line.size()) return in.Fail("closing quote missing");
      const char c = in.line[in.pos++];
      if (c == '"') break;
      if (c == '\\') {
        if (!ReadEscape(in, piece)) return false;
      } else {
        piece.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
      }
    }
    long long count = 1;
    if (in.pos < in.line.size() && in.line[in.pos] == '*') {
      ++in.pos;
      std::size_t end = in.pos;
      while (end < in.line.size() && in.line[end] >= '0' && in.line[end] <= '9') ++end;
      if (end == in.pos) return in.Fail("count expected");
      std::from_chars(in.line.data() + in.pos, in.line.data() + end, count);
      in.pos = end;
    }
    for (long long i = 0; i < count; ++i) text += piece;
    in.SkipBlanks();
    if (in.pos >= in.line.size() || in.line[in.pos] != '+') return true;
    ++in.pos;
  }
}

bool Expect(Cursor& in, const std::string& token) {
  std::string word;
  return (ReadWord(in, word) && word == token) || in.Fail("\"" + token + "\" expected");
}

std::string Unit(char16_t c) {
  switch (c) {
    case u'\\':
      return "\\\\";
    case u'"':
      return "\\\"";
    case u'\r':
      return "\\r";
    case u'\n':
      return "\\n";
    case u'\t':
      return "\\t";
    case u'\0':
      return "\\0";
    default:
      break;
  }
  if (c >= 0x20 && c < 0x7F) return std::string(1, static_cast<char>(c));
  const char* hex = "0123456789ABCDEF";
  std::string out = c < 0x100 ? "\\x" : "\\u";
  for (int shift = c < 0x100 ? 4 : 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 15];
  return out;
}

// The table's own notation, long runs folded so that answers stay readable.
std::string Quote(const std::u16string& text) {
  std::string out;
  std::string pending;
  auto add = [&](const std::string& piece) { out += (out.empty() ? "" : " + ") + piece; };
  auto flush = [&] {
    if (!pending.empty()) add('"' + pending + '"');
    pending.clear();
  };
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t run = 1;
    while (i + run < text.size() && text[i + run] == text[i]) ++run;
    if (run >= 8) {
      flush();
      add('"' + Unit(text[i]) + "\"*" + std::to_string(run));
      i += run;
    } else {
      pending += Unit(text[i++]);
    }
  }
  flush();
  return out.empty() ? "\"\"" : out;
}

struct Scratch {
  fs::path native;
  std::u16string launcher;  // the same directory with "\" separators
};

bool MakeScratch(Scratch& scratch) {
  std::random_device random;
  std::error_code ec;
  const fs::path base = fs::temp_directory_path(ec);
  if (ec) return false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = base / ("qv-profile-probe-" + std::to_string(random()));
    if (fs::create_directory(candidate, ec)) {
      scratch.native = candidate;
      scratch.launcher = candidate.u16string();
      for (char16_t& c : scratch.launcher) {
        if (c == u'/') c = u'\\';
      }
      return true;
    }
  }
  return false;
}

bool MakeFile(const Scratch& scratch, Cursor& in) {
  std::string name;
  std::string kind;
  if (!ReadWord(in, name) || !ReadWord(in, kind)) return false;
  const fs::path target = scratch.native / name;
  if (kind == "dir") {
    std::error_code ec;
    return fs::create_directory(target, ec) || in.Fail("cannot create directory");
  }
  std::u16string text;
  if (!ReadText(in, text)) return false;
  std::string bytes;
  if (kind == "bytes") {
    for (char16_t c : text) {
      if (c > 0xFF) return in.Fail("code unit above 0xFF in a bytes file");
      bytes.push_back(static_cast<char>(c));
    }
  } else if (kind == "utf16" || kind == "utf16be") {
    const bool little = kind == "utf16";
    bytes = little ? "\xFF\xFE" : "\xFE\xFF";
    for (char16_t c : text) {
      const char low = static_cast<char>(c & 0xFF);
      const char high = static_cast<char>(c >> 8);
      bytes.push_back(little ? low : high);
      bytes.push_back(little ? high : low);
    }
  } else {
    return in.Fail("unknown file kind");
  }
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out) || in.Fail("cannot write file");
}

// Returns false on a malformed line. shown receives the query with the answer
// seen, expected the recorded answer when it differs.
bool RunQuery(const Scratch& scratch, Cursor& in, const std::string& verb, std::string& shown,
              std::string& expected) {
  std::string name;
  std::u16string section;
  std::u16string key;
  if (!ReadWord(in, name) || !ReadText(in, section) || !ReadText(in, key)) return false;
  const std::u16string path = scratch.launcher + u"\\" + plat::FromUtf8(name);
  std::string head = verb + " " + name + " " + Quote(section) + " " + Quote(key) + " ";
  if (verb == "str") {
    std::u16string def;
    long long capacity = 0;
    std::u16string recorded;
    if (!ReadText(in, def) || !ReadNumber(in, capacity) || !Expect(in, "=") ||
        !ReadText(in, recorded)) {
      return false;
    }
    if (capacity < 1) return in.Fail("capacity must be at least 1");
    const std::u16string answer =
        plat::ReadProfileString(section, key, def, static_cast<std::size_t>(capacity), path);
    shown = head + Quote(def) + " " + std::to_string(capacity) + " = " + Quote(answer);
    if (answer != recorded) expected = Quote(recorded);
  } else {
    long long def = 0;
    long long recorded = 0;
    if (!ReadNumber(in, def) || !Expect(in, "=") || !ReadNumber(in, recorded)) return false;
    const int answer = plat::ReadProfileInt(section, key, static_cast<int>(def), path);
    shown = head + std::to_string(def) + " = " + std::to_string(answer);
    if (answer != recorded) expected = std::to_string(recorded);
  }
  return in.AtEnd() || in.Fail("text after the answer");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || (argc == 3 && std::string(argv[2]) != "--record") || argc > 3) {
    std::cerr << "usage: profile_probe <table> [--record]\n";
    return 2;
  }
  const bool record = argc == 3;
  std::ifstream table(argv[1], std::ios::binary);
  if (!table) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 2;
  }
  Scratch scratch;
  if (!MakeScratch(scratch)) {
    std::cerr << "cannot create a scratch directory\n";
    return 2;
  }
  int queries = 0;
  int mismatches = 0;
  int malformed = 0;
  std::string line;
  for (int number = 1; std::getline(table, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Cursor in{line, 0, {}};
    std::string verb;
    std::string shown = line;
    std::string expected;
    bool good = true;
    if (!in.AtEnd() && line[in.pos] != '#') {
      good = ReadWord(in, verb);
      if (good && verb == "file") {
        good = MakeFile(scratch, in) && (in.AtEnd() || in.Fail("text after the contents"));
      } else if (good && (verb == "str" || verb == "int")) {
        ++queries;
        good = RunQuery(scratch, in, verb, shown, expected);
        if (!record) {
          std::cout << (expected.empty() ? "ok   " : "DIFF ") << shown;
          if (!expected.empty()) std::cout << "    # recorded " << expected;
          std::cout << "\n";
        }
      } else if (good) {
        good = in.Fail("unknown line kind");
      }
    }
    if (!good) {
      ++malformed;
      std::cerr << argv[1] << ":" << number << ": " << in.error << "\n";
    }
    if (!expected.empty()) ++mismatches;
    if (record) std::cout << shown << "\n";
  }
  std::error_code ec;
  fs::remove_all(scratch.native, ec);
  if (!record) {
    std::cout << queries << " queries, " << mismatches << " differing answers, " << malformed
              << " malformed lines\n";
  }
  return mismatches == 0 && malformed == 0 ? 0 : 1;
}
