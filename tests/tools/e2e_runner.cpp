// Runs the end-to-end scenarios of tests/e2e against the launcher of this
// build: each scenario gets a fresh installation (program directory with an
// engine library, suite root with its settings files, data root), runs the
// launcher once as a separate process and checks the exit code, what the
// engine received and what the execution log holds.
//
// usage: e2e_runner SCENARIO_FILE [NAME_FILTER]
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

struct Scenario {
  std::string name;
  int line = 0;
  std::vector<std::string> setup;   // directives applied before the run
  std::vector<std::string> checks;  // directives checked after it
};

std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string::npos) return "";
  const auto e = s.find_last_not_of(" \t\r");
  return s.substr(b, e - b + 1);
}

std::vector<Scenario> ParseScenarios(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<Scenario> list;
  std::string raw;
  int number = 0;
  Scenario* current = nullptr;
  while (std::getline(in, raw)) {
    ++number;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::string word = line.substr(0, line.find(' '));
    if (word == "scenario") {
      list.push_back({Trim(line.substr(8)), number, {}, {}});
      current = &list.back();
    } else if (current == nullptr) {
      std::fprintf(stderr, "%s:%d: directive outside a scenario\n", file.c_str(), number);
      std::exit(2);
    } else if (word == "root" || word == "dll" || word == "ini" || word == "logsetup" ||
               word == "cmd" || word == "mkdir" || word == "mkfile" || word == "env" ||
               word == "hold") {
      // "cmd" keeps its text exactly, blanks included.
      current->setup.push_back(word == "cmd" ? raw.substr(raw.find("cmd")) : line);
    } else {
      current->checks.push_back(line);
    }
  }
  return list;
}

std::u16string W(const std::string& s) {
  return plat::FromUtf8(s);
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char digits[4];
  for (unsigned char b : bytes) {
    std::snprintf(digits, sizeof digits, "%02X", b);
    out += digits;
  }
  return out;
}

// The launcher's form of a path below the installation root: "\" separators.
std::string LauncherPath(const fs::path& root, const std::string& relative) {
  std::string base = root.string();
  std::string rel = relative;
  if (fs::path::preferred_separator == '\\') {
    for (char& c : base) c = c == '/' ? '\\' : c;
  }
  for (char& c : rel) c = (c == '/') ? '\\' : c;
  return rel.empty() ? base : base + "\\" + rel;
}

fs::path NativeFile(const fs::path& root, std::string relative) {
  for (char& c : relative) c = (c == '\\') ? '/' : c;
  return root / fs::path(relative);
}

struct Record {
  std::vector<std::string> fields;  // ten fields; the last is the command line
};

// Reads an execution-log style file; reports a broken file through error.
std::vector<Record> ReadRecords(const fs::path& p, std::string& error) {
  std::vector<Record> records;
  const std::string bytes = qvtest::ReadFileBytes(p);
  if (bytes.empty()) return records;
  if (bytes.size() < 2 || bytes[0] != '\xFF' || bytes[1] != '\xFE') {
    error = "no byte-order mark at the start of " + p.string();
    return records;
  }
  if (bytes.size() % 2 != 0) error = "odd byte count in " + p.string();
  const std::string text = plat::ToUtf8(qvtest::FromUtf16Le(std::string_view(bytes).substr(2)));
  if (text.find("\xEF\xBB\xBF") != std::string::npos) error = "second byte-order mark";
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      error = "torn last line in " + p.string();
      break;
    }
    const std::string line = text.substr(pos, end - pos);
    Record r;
    std::size_t start = 0;
    for (int f = 0; f < 9; ++f) {
      const std::size_t comma = line.find(',', start);
      if (comma == std::string::npos) break;
      r.fields.push_back(line.substr(start, comma - start));
      start = comma + 1;
    }
    r.fields.push_back(line.substr(start));
    if (r.fields.size() != 10) error = "line without ten fields: " + line;
    records.push_back(r);
    pos = end + 2;
  }
  return records;
}

// The boxes hold their Japanese texts in code page 932 (Shift-JIS). Under any
// other code page both the box and the expected text turn them into "?", and
// a comparison would pass without having seen a single Japanese character.
bool AnsiCodePageIsShiftJis() {
  return plat::ToAnsiCodePage(u"\u30B8\uFF72") == "\x83\x57\xB2";  // katakana "ji", half-width "i"
}

bool HasBoxChecks(const Scenario& s) {
  for (const std::string& c : s.checks) {
    if (c.rfind("box ", 0) == 0) return true;
  }
  return false;
}

std::string ValueAfter(const std::string& line, const std::string& head) {
  return line.size() > head.size() ? line.substr(head.size() + 1) : "";
}

class Run {
 public:
  Run(const Scenario& s, const fs::path& bin, const std::string& launcher)
      : scenario_(s), bin_(bin), launcher_(launcher) {
    static int counter = 0;
    root_ = fs::temp_directory_path() /
            ("qv-e2e-" + std::to_string(plat::Now().seconds) + "-" + std::to_string(counter++));
    fs::remove_all(root_);
    fs::create_directories(root_ / "bin");
    fs::create_directories(root_ / "suite" / "system");
    fs::create_directories(root_ / "suite" / "private");
    fs::create_directories(root_ / "data" / "log");
  }
  ~Run() {
    ReleaseHolders();
    std::error_code ec;
    if (std::getenv("QORVANE_E2E_KEEP") == nullptr) fs::remove_all(root_, ec);
  }

  bool Execute(std::string& failure) {
    std::string rootMode = "normal";
    std::string dll = "sample";
    std::string ini;
    std::string logsetup;
    bool haveLogsetup = false;
    std::string cmd;
    for (const std::string& d : scenario_.setup) {
      const std::string word = d.substr(0, d.find(' '));
      const std::string rest = d.size() > word.size() ? d.substr(word.size() + 1) : "";
      if (word == "root") rootMode = Trim(rest);
      if (word == "dll") dll = Trim(rest);
      if (word == "cmd") cmd = Expand(rest);
      if (word == "ini") ini += Expand(rest) + "\r\n";
      if (word == "logsetup") {
        haveLogsetup = true;
        logsetup += Expand(rest) + "\r\n";
      }
      if (word == "mkdir") fs::create_directories(NativeFile(root_, Trim(rest)));
      if (word == "mkfile") qvtest::WriteFileBytes(NativeFile(root_, Trim(rest)), "x");
      if (word == "hold" && !StartHolder(rest, failure)) return false;
      if (word == "env") {
        const std::string kv = Expand(Trim(rest));
        const auto eq = kv.find('=');
        plat::SetEnvironment(W(kv.substr(0, eq)), W(kv.substr(eq + 1)));
        envSet_.push_back(kv.substr(0, eq));
      }
    }
    if (dll == "sample") fs::copy_file(bin_ / "Qorvane.dll", root_ / "bin" / "Qorvane.dll");
    if (dll == "noexport") fs::copy_file(bin_ / "NoExport.dll", root_ / "bin" / "Qorvane.dll");
    if (!ini.empty()) {
      qvtest::WriteFileBytes(root_ / "suite" / "system" / "VantrelV12.ini", ini);
    }
    if (haveLogsetup) {
      qvtest::WriteFileBytes(root_ / "suite" / "private" / "logsetup_w.properties",
                             qvtest::Utf16Le(W(logsetup)));
    }

    const std::string roots = LauncherPath(root_, "bin") + ";" + LauncherPath(root_, "suite") +
                              ";" + LauncherPath(root_, "data");
    if (rootMode == "normal") plat::SetEnvironment(u"VANTREL_V12", W(roots));
    if (rootMode == "semicolon") plat::SetEnvironment(u"VANTREL_V12", W(";" + roots));
    if (rootMode == "unset") plat::SetEnvironment(u"VANTREL_V12", u"", true);
    // A program directory longer than any directory field may be.
    if (rootMode == "overlong")
      plat::SetEnvironment(u"VANTREL_V12", W(std::string(300, 'x') + ";" + roots));
    plat::SetEnvironment(u"QORVANE_ENGINE_TRACE", W(LauncherPath(root_, "trace.txt")));

    plat::Process process = plat::StartProcess(W(launcher_), W(cmd));
    if (!process) {
      failure = "the launcher could not be started";
      return false;
    }
    for (const std::string& c : scenario_.checks) {
      if (c.rfind("box ", 0) != 0) continue;
      std::string text;
      if (!plat::DismissMessageBox("Vantrel Orbeck", 20000, text)) {
        failure = "no message box appeared";
        return false;
      }
      boxes_.push_back(text);
    }
    std::string extra;
    if (!boxes_.empty() && plat::DismissMessageBox("Vantrel Orbeck", 300, extra)) {
      failure = "an unexpected message box: " + extra;
      return false;
    }
    std::int64_t exitCode = 0;
    if (!plat::WaitProcess(*process, exitCode)) {
      failure = "the launcher's exit code could not be read";
      return false;
    }
    for (const std::string& name : envSet_) plat::SetEnvironment(W(name), u"", true);
    exitCode_ = exitCode;
    ReleaseHolders();
    return Check(failure);
  }

 private:
  // Lets every lock holder go and waits for it, so that the checks see the
  // directory as the launcher left it, without the release marker.
  void ReleaseHolders() {
    for (const fs::path& release : releases_) std::ofstream(release).close();
    for (plat::Process& holder : holders_) {
      std::int64_t ignored = 0;
      plat::WaitProcess(*holder, ignored);
    }
    for (const fs::path& release : releases_) {
      std::error_code ec;
      fs::remove(release, ec);
    }
    holders_.clear();
    releases_.clear();
  }

  // "hold REL MS": another process keeps REL (a rotation.lock) open with
  // write access and read-sharing, as a rotation does, for MS milliseconds or
  // until the launcher has finished.
  bool StartHolder(const std::string& args, std::string& failure) {
    std::istringstream in(args);
    std::string rel;
    std::string ms;
    in >> rel >> ms;
    const fs::path lock = NativeFile(root_, rel);
    const std::string marker = "holder-ready";
    const std::string exe =
        (bin_ / (launcher_.size() > 4 && launcher_.substr(launcher_.size() - 4) == ".exe"
                     ? "log_writer_loop.exe"
                     : "log_writer_loop"))
            .string();
    const std::string dir = LauncherPath(root_, rel.substr(0, rel.find_last_of("/\\")));
    plat::Process holder =
        plat::StartProcess(W(exe), W("\"" + dir + "\" " + marker + " x " + ms + " hold"));
    if (!holder) {
      failure = "the lock holder could not be started";
      return false;
    }
    holders_.push_back(std::move(holder));
    releases_.push_back(lock.parent_path() / (marker + ".release"));
    const fs::path ready = lock.parent_path() / marker;
    for (int i = 0; i < 1000 && !fs::exists(ready); ++i) plat::SleepMilliseconds(10);
    if (!fs::exists(ready)) {
      failure = "the lock holder did not take the lock";
      return false;
    }
    // The holder may not have closed the marker yet, and Windows deletes no
    // file that is still open.
    std::error_code ec;
    for (int i = 0; i < 1000 && !fs::remove(ready, ec) && fs::exists(ready, ec); ++i) {
      plat::SleepMilliseconds(10);
    }
    if (fs::exists(ready, ec)) {
      failure = "the lock holder's marker could not be removed";
      return false;
    }
    return true;
  }

  std::string Expand(std::string text) const {
    const std::string marker = "{root}";
    for (auto p = text.find(marker); p != std::string::npos; p = text.find(marker)) {
      text.replace(p, marker.size(), LauncherPath(root_, ""));
    }
    return text;
  }

  bool Check(std::string& failure) {
    const std::string trace = qvtest::ReadFileBytes(root_ / "trace.txt");
    std::vector<std::string> calls;
    std::istringstream traceLines(trace);
    for (std::string l; std::getline(traceLines, l);) calls.push_back(l);

    for (const std::string& c : scenario_.checks) {
      std::istringstream words(c);
      std::string word;
      words >> word;
      if (word == "exit") {
        long long expected = std::stoll(ValueAfter(c, word));
        const bool fullCode =
            launcher_.size() > 4 && launcher_.substr(launcher_.size() - 4) == ".exe";
        const long long got = exitCode_;
        const long long want = fullCode ? expected : (expected & 0xFF);
        if (got != want) {
          failure = "exit code " + std::to_string(got) + ", expected " + std::to_string(want);
          return false;
        }
      } else if (word == "engine-calls") {
        const auto expected = std::stoul(ValueAfter(c, word));
        if (calls.size() != expected) {
          failure = "engine called " + std::to_string(calls.size()) + " times";
          return false;
        }
      } else if (word == "display" || word == "engine-cmd") {
        if (calls.empty()) {
          failure = "engine not called";
          return false;
        }
        const std::string& call = calls.front();
        std::string got;
        if (word == "display") {
          got = call.substr(8, 6);
        } else {
          const auto b = call.find("cmd=[") + 5;
          got = call.substr(b, call.rfind("] errlog=[") - b);
        }
        if (got != ValueAfter(c, word)) {
          failure = word + " [" + got + "], expected [" + ValueAfter(c, word) + "]";
          return false;
        }
      } else if (word == "records" || word == "record" || word == "record-cmd") {
        std::string file = "data/log/orbeck.log";
        std::string error;
        if (word == "records") {
          std::string n;
          words >> n;
          std::string f;
          if (words >> f) file = f;
          const auto records = ReadRecords(NativeFile(root_, file), error);
          if (!error.empty() || records.size() != std::stoul(n)) {
            failure = file + ": " + std::to_string(records.size()) + " records, expected " + n +
                      (error.empty() ? "" : " (" + error + ")");
            return false;
          }
        } else {
          std::string index;
          std::string status;
          std::string job;
          words >> file >> index;
          const auto records = ReadRecords(NativeFile(root_, file), error);
          const auto k = std::stoul(index);
          if (k >= records.size()) {
            failure = file + ": no record " + index + (error.empty() ? "" : " (" + error + ")");
            return false;
          }
          const Record& r = records[k];
          if (word == "record") {
            words >> status >> job;
            bool jobOk = job == "*" || job == r.fields[2];
            if (job == "#####") {
              jobOk = r.fields[2].size() == 5 &&
                      r.fields[2].find_first_not_of("0123456789") == std::string::npos;
            }
            if (r.fields[3] != status || !jobOk) {
              failure = file + " record " + index + ": " + r.fields[2] + "," + r.fields[3];
              return false;
            }
          } else {
            std::string expected;
            std::getline(words, expected);
            expected = expected.empty() ? "" : expected.substr(1);
            if (r.fields[9] != expected) {
              failure = file + " record " + index + " command line [" + r.fields[9] + "]";
              return false;
            }
          }
        }
      } else if (word == "box") {
        // Texts as the report writes them, "\n" for a line feed; the box holds
        // them in the ANSI code page.
        std::string expected = ValueAfter(c, word);
        std::string unescaped;
        for (std::size_t i = 0; i < expected.size(); ++i) {
          if (expected[i] == '\\' && i + 1 < expected.size() && expected[i + 1] == 'n') {
            unescaped += "\n";
            ++i;
          } else {
            unescaped += expected[i];
          }
        }
        const std::string want = plat::ToAnsiCodePage(W(unescaped));
        if (boxIndex_ >= boxes_.size() || boxes_[boxIndex_] != want) {
          const std::string got = boxIndex_ < boxes_.size() ? boxes_[boxIndex_] : std::string();
          failure = "box text differs:\n  got  " + Hex(got) + "\n  want " + Hex(want);
          return false;
        }
        ++boxIndex_;
      } else if (word == "no-file" || word == "has-file") {
        std::string rel;
        words >> rel;
        const bool exists = fs::exists(NativeFile(root_, rel));
        if (exists != (word == "has-file")) {
          failure = rel + (exists ? " exists" : " is missing");
          return false;
        }
      } else if (word == "no-files-in") {
        std::string rel;
        words >> rel;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(NativeFile(root_, rel), ec)) {
          failure = "left behind: " + e.path().string();
          return false;
        }
      } else {
        failure = "unknown check: " + c;
        return false;
      }
    }
    return true;
  }

  const Scenario& scenario_;
  fs::path bin_;
  std::string launcher_;
  fs::path root_;
  std::int64_t exitCode_ = 0;
  std::vector<std::string> envSet_;
  std::vector<plat::Process> holders_;
  std::vector<fs::path> releases_;
  std::vector<std::string> boxes_;
  std::size_t boxIndex_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: e2e_runner SCENARIO_FILE [NAME_FILTER]\n");
    return 2;
  }
  const fs::path bin = fs::path(plat::ExecutableDirectory());
  std::string launcher = (bin / "Qorvane.exe").string();
  if (!fs::exists(launcher)) launcher = (bin / "qorvane").string();
  const std::string filter = argc > 2 ? argv[2] : "";
  const bool shiftJis = AnsiCodePageIsShiftJis();

  int passed = 0;
  int failed = 0;
  for (const Scenario& s : ParseScenarios(argv[1])) {
    if (!filter.empty() && s.name.find(filter) == std::string::npos) continue;
    if (!shiftJis && HasBoxChecks(s)) {
      ++failed;
      std::printf(
          "FAIL  %s (line %d): the ANSI code page is not 932 (run Wine with "
          "LC_ALL=ja_JP.UTF-8)\n",
          s.name.c_str(), s.line);
      continue;
    }
    std::string failure;
    Run run(s, bin, launcher);
    if (run.Execute(failure)) {
      ++passed;
      std::printf("ok    %s\n", s.name.c_str());
    } else {
      ++failed;
      std::printf("FAIL  %s (line %d): %s\n", s.name.c_str(), s.line, failure.c_str());
    }
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
