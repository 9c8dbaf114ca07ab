// Helpers shared by the unit tests and the test programs: a scratch directory
// and installation, scoped environment variables, raw file contents, starting
// a program of this build, reading a file of execution-log records.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/fault.h"
#include "platform/testing.h"
#include "platform/text.h"

namespace qvtest {

// A fresh directory under the system's temporary directory, removed again at
// the end of the test. path() is in the launcher's own form: "\" separators.
class ScopedTempDir {
 public:
  ScopedTempDir() {
    static std::atomic<int> counter{0};
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    std::error_code ec;
    do {
      native_ = base / ("qvtest-" + std::to_string(plat::CurrentProcessId()) + "-" +
                        std::to_string(plat::Now().seconds) + "-" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(native_, ec));
    path_ = native_.u16string();
    std::replace(path_.begin(), path_.end(), u'/', u'\\');
  }
  ~ScopedTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(native_, ec);
  }
  const std::u16string& path() const { return path_; }
  // path() + "\" + name
  std::u16string operator/(std::u16string_view name) const {
    return path_ + u"\\" + std::u16string(name);
  }

 private:
  std::filesystem::path native_;
  std::u16string path_;
};

// The standard library's view of a launcher path.
inline std::filesystem::path NativePath(std::u16string p) {
  if (std::filesystem::path::preferred_separator == '/')
    std::replace(p.begin(), p.end(), u'\\', u'/');
  return std::filesystem::path(p);
}

inline void WriteFileBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::u16string& path, std::string_view bytes) {
  WriteFileBytes(NativePath(path), bytes);
}

inline std::string ReadBytes(const std::u16string& path) {
  return ReadFileBytes(NativePath(path));
}

inline bool Exists(const std::u16string& path) {
  std::error_code ec;
  return std::filesystem::exists(NativePath(path), ec);
}

// UTF-16LE bytes of text, with the byte-order mark FF FE in front when bom.
inline std::string Utf16Le(std::u16string_view text, bool bom = true) {
  return (bom ? std::string(plat::kUtf16LeMark) : std::string()) + plat::EncodeUtf16Le(text);
}

inline std::u16string FromUtf16Le(std::string_view bytes) {
  return plat::DecodeUtf16Le(bytes);
}

// Sets an environment variable for the length of a scope.
class ScopedEnv {
 public:
  ScopedEnv(std::u16string name, const std::u16string& value, bool remove = false)
      : name_(std::move(name)) {
    had_ = plat::GetEnvironment(name_, old_);
    plat::SetEnvironment(name_, value, remove);
  }
  ~ScopedEnv() { plat::SetEnvironment(name_, old_, !had_); }

 private:
  std::u16string name_, old_;
  bool had_ = false;
};

// Clears injected faults and the fixed clock when a test ends.
class ScopedFaults {
 public:
  ScopedFaults() { plat::ClearFaults(); }
  ~ScopedFaults() {
    plat::ClearFaults();
    plat::SetClockOverride(std::nullopt);
  }
};

// Directory of the test binary, where the build puts the sample engine and
// the test programs; "\" separators.
inline std::string TestBinDir() {
  std::string dir = plat::ToUtf8(plat::ExecutableDirectory());
  std::replace(dir.begin(), dir.end(), '/', '\\');
  return dir;
}

// A scratch installation for the length of a test: program directory "bin",
// suite root "suite" with its system and private directories, data root
// "data" with "log", and VANTREL_V12 naming the three.
class ScratchInstall {
 public:
  ScratchInstall()
      : env_(u"VANTREL_V12", dir_ / u"bin" + u";" + dir_ / u"suite" + u";" + dir_ / u"data") {
    for (const char16_t* sub : {u"bin", u"suite\\system", u"suite\\private", u"data\\log"}) {
      std::filesystem::create_directories(NativePath(dir_ / sub));
    }
  }
  std::u16string operator/(std::u16string_view name) const { return dir_ / name; }
  std::u16string logDir() const { return dir_ / u"data\\log"; }
  std::u16string setupPath() const { return dir_ / u"suite\\private\\logsetup_w.properties"; }
  // The log settings file, UTF-16LE with its byte-order mark.
  void LogSetup(std::u16string_view text) const { WriteBytes(setupPath(), Utf16Le(text)); }
  // The suite settings file "VantrelV12.ini", 8-bit.
  void WriteIni(std::string_view text) const {
    WriteBytes(dir_ / u"suite\\system\\VantrelV12.ini", text);
  }
  // Puts a library of this build (by default the sample engine) in the
  // program directory as the engine library.
  void CopyEngine(const std::string& library = "Qorvane.dll") const;

 private:
  ScopedTempDir dir_;
  ScopedEnv env_;
};

// For the test programs: starting a program of this build and reading the
// files of execution-log records that the launcher leaves.
inline bool OnWindows() {
  return std::filesystem::path::preferred_separator == '\\';
}

// A file beside this program, and a program there ("launcher": the launcher).
inline std::u16string BinFile(const std::string& name) {
  const std::u16string bin = plat::ExecutableDirectory();
  return bin + (bin.back() == u'\\' || bin.back() == u'/' ? u"" : u"\\") + plat::FromUtf8(name);
}
inline std::u16string Program(const std::string& name) {
  const std::string file = name == "launcher" ? (OnWindows() ? "Qorvane" : "qorvane") : name;
  return BinFile(file + (OnWindows() ? ".exe" : ""));
}

inline void ScratchInstall::CopyEngine(const std::string& library) const {
  std::filesystem::copy_file(NativePath(BinFile(library)), NativePath(dir_ / u"bin\\Qorvane.dll"),
                             std::filesystem::copy_options::overwrite_existing);
}

// The exit code as a parent sees it: all 32 bits on Windows, the low 8 natively.
inline std::int64_t ExitAsSeen(std::int64_t result) {
  return OnWindows() ? result : (result & 0xFF);
}

// Under heavy load Wine now and then refuses to create a process; a program
// that never started has done nothing yet and may be started again.
inline plat::Process StartProgram(const std::u16string& exe, const std::u16string& commandLine,
                                  int* retries = nullptr) {
  plat::Process process = plat::StartProcess(exe, commandLine);
  for (int attempt = 1; !process && attempt <= 5; ++attempt) {
    if (retries != nullptr) ++*retries;
    plat::SleepMilliseconds(50);
    process = plat::StartProcess(exe, commandLine);
  }
  return process;
}

struct LogRecord {
  std::string line;  // the whole record, without its CR LF
  std::string job;
  std::string status;
  long long code = -1;
  std::string commandLine;
};

// The status the writer gives a code: class and hundreds figure by its
// thousands, OtherError counted from 2000.
inline std::string StatusOf(long long code) {
  const char* word[] = {"Information", "Warning", "Error", "OtherError"};
  const long long k = code / 1000 < 3 ? code / 1000 : 3;
  const long long figure = (code - (k == 3 ? 2000 : k * 1000)) / 100;
  char text[64];
  std::snprintf(text, sizeof text, "%s:HS-00-%02lld-%04lld", word[k], figure, code);
  return text;
}

// A file of records as read: every line (without CR LF), the sound records,
// the faults of the file's form (no byte-order mark at its start or one
// inside, a torn unit or last line, a mark without a record) and the lines
// that are no record (or whose status does not fit its code). A file that is
// missing or no file reads as empty.
struct RecordFile {
  std::vector<std::string> lines;
  std::vector<LogRecord> records;
  std::vector<std::string> formFaults;
  std::vector<std::string> lineFaults;
};

// One line as a record; false when it is none.
inline bool ParseRecord(const std::string& line, LogRecord& r) {
  std::vector<std::string> f;
  for (std::size_t start = 0, comma = 0; f.size() < 9 && comma != std::string::npos;) {
    comma = line.find(',', start);
    f.push_back(line.substr(start, comma - start));
    start = comma + 1;
  }
  const std::size_t dash = f.size() == 9 ? f[3].rfind('-') : std::string::npos;
  if (dash == std::string::npos) return false;
  r.code = std::atoll(f[3].c_str() + dash + 1);
  if (line.find_first_of("\r\n") != std::string::npos ||
      !(f[4] + f[5] + f[6] + f[7] + f[8]).empty() || f[0].size() != 10 || f[1].size() != 12 ||
      f[3] != StatusOf(r.code)) {
    return false;
  }
  r.line = line;
  r.job = f[2];
  r.status = f[3];
  r.commandLine = line.substr(f[0].size() + f[1].size() + f[2].size() + f[3].size() + 9);
  return true;
}

inline RecordFile ReadRecordFile(const std::u16string& path) {
  RecordFile file;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(NativePath(path), ec)) return file;
  const std::string bytes = ReadBytes(path);
  const std::string name = plat::ToUtf8(path.substr(path.find_last_of(u"\\/") + 1));
  const std::u16string text =
      plat::DecodeUtf16Le(bytes.substr(std::min<std::size_t>(2, bytes.size())));
  if (!bytes.empty() && (bytes.compare(0, 2, plat::kUtf16LeMark) != 0 || bytes.size() % 2 != 0 ||
                         text.find(u'\uFEFF') != std::u16string::npos || text.empty())) {
    file.formFaults.push_back(name + ": no byte-order mark at the start, a second one, a torn " +
                              "unit or a mark without a record");
  }
  if (!text.empty() && !text.ends_with(u"\r\n")) file.formFaults.push_back(name + ": a torn end");
  for (std::size_t pos = 0, number = 1; pos < text.size(); ++number) {
    const std::size_t end = std::min(text.find(u"\r\n", pos), text.size());
    file.lines.push_back(plat::ToUtf8(text.substr(pos, end - pos)));
    pos = end + 2;
    LogRecord r;
    if (ParseRecord(file.lines.back(), r)) {
      file.records.push_back(r);
    } else {
      file.lineFaults.push_back(name + ": line " + std::to_string(number) +
                                " is no whole record: " + file.lines.back());
    }
  }
  return file;
}

// The sound records of a file; every fault of its form or its lines is added
// to faults.
inline std::vector<LogRecord> ReadLog(const std::u16string& path,
                                      std::vector<std::string>& faults) {
  RecordFile file = ReadRecordFile(path);
  faults.insert(faults.end(), file.formFaults.begin(), file.formFaults.end());
  faults.insert(faults.end(), file.lineFaults.begin(), file.lineFaults.end());
  return std::move(file.records);
}

}  // namespace qvtest
