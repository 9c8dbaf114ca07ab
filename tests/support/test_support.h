// Helpers shared by the unit tests of every subsystem: a scratch directory,
// scoped environment variables, raw file contents.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

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
    namespace fs = std::filesystem;
    fs::path base = fs::temp_directory_path();
    for (int i = 0;; ++i) {
      fs::path candidate = base / ("qvtest-" + std::to_string(plat::Now().seconds) + "-" +
                                   std::to_string(counter++) + "-" + std::to_string(i));
      std::error_code ec;
      if (fs::create_directory(candidate, ec)) {
        native_ = candidate;
        break;
      }
    }
    std::u16string p = native_.u16string();
    for (char16_t& c : p) {
      if (c == u'/') c = u'\\';
    }
    path_ = p;
  }
  ~ScopedTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(native_, ec);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

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
  if (std::filesystem::path::preferred_separator == '/') {
    for (char16_t& c : p) {
      if (c == u'\\') c = u'/';
    }
  }
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
  std::string out;
  if (bom) out += "\xFF\xFE";
  for (char16_t c : text) {
    out.push_back(static_cast<char>(c & 0xFF));
    out.push_back(static_cast<char>(c >> 8));
  }
  return out;
}

// Decodes UTF-16LE bytes (no byte-order mark handling).
inline std::u16string FromUtf16Le(std::string_view bytes) {
  std::u16string out;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                        (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return out;
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
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::u16string name_;
  std::u16string old_;
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

}  // namespace qvtest

namespace qvtest {

// Directory of the test binary, where the build puts the sample engine and
// the test programs; "\" separators.
inline std::string TestBinDir() {
  std::string dir = plat::ToUtf8(plat::ExecutableDirectory());
  for (char& c : dir) {
    if (c == '/') c = '\\';
  }
  return dir;
}

}  // namespace qvtest

namespace qvtest {

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

 private:
  ScopedTempDir dir_;
  ScopedEnv env_;
};

}  // namespace qvtest
