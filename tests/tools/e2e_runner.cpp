// End-to-end scenarios (tests/e2e) against the launcher of this build: each
// row in a fresh installation, the launcher as a separate process, its exit
// code, what the engine received, the records and, under a display, the boxes.
// usage: e2e_runner TABLE [NAME_FILTER]
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/testing.h"
#include "platform/text.h"
#include "tests/support/test_support.h"

namespace {

enum Cell { kName, kSetup, kCommand, kExit, kEngine, kFiles, kBox };

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) {
    const std::string trimmed = plat::ToUtf8(plat::Trim(plat::FromUtf8(part)));
    if (separator == '|' || !trimmed.empty()) parts.push_back(trimmed);
  }
  return parts;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (auto p = text.find(from); p != std::string::npos; p = text.find(from, p + to.size())) {
    text.replace(p, from.size(), to);
  }
  return text;
}

std::string Run(const std::vector<std::string>& row) {
  qvtest::ScratchInstall install;
  const std::string root = plat::ToUtf8(install / u"");
  // REL is below the installation root; a bare file name is in data\log.
  auto path = [&](const std::string& rel) {
    return install / plat::FromUtf8(Replaced(
                         rel.find('/') == std::string::npos ? "data/log/" + rel : rel, "/", "\\"));
  };
  std::string ini;
  std::string logsetup;
  std::string dll = "Qorvane.dll";
  std::vector<std::u16string> env = {u"QORVANE_ENGINE_TRACE"};
  plat::SetEnvironment(env[0], install / u"trace.txt");
  plat::Process holder;
  for (const std::string& w : Split(Replaced(row[kSetup], "{root}\\", root), ' ')) {
    const std::string key = w.substr(0, w.find('='));
    const std::string value = w.substr(std::min(w.find('='), w.size() - 1) + 1);
    if (w.rfind("runtime.", 0) == 0) logsetup += w + "\r\n";
    if (w[0] == '[') ini += Replaced(Replaced(w, "]", "]\r\n"), ",", "\r\n") + "\r\n";
    if (key == "dll") dll = value;
    if (key == "mkdir") std::filesystem::create_directories(qvtest::NativePath(path(value)));
    if (key == "mkfile") qvtest::WriteBytes(path(value), "x");
    if (key == "env") {
      env.push_back(plat::FromUtf8(value.substr(0, value.find('='))));
      const bool remove = value.find('=') == std::string::npos;
      plat::SetEnvironment(env.back(), plat::FromUtf8(value.substr(value.find('=') + 1)), remove);
    }
    if (key == "hold") {
      // Another process holds data\log\rotation.lock as a rotation does, for
      // MS milliseconds or until the launcher has ended; it marks data\log\hold.
      holder = qvtest::StartProgram(
          qvtest::Program("log_writer_loop"),
          u"\"" + install / u"data\\log" + u"\" hold x " + plat::FromUtf8(value) + u" hold");
      for (int i = 0; holder && i < 2000 && !qvtest::Exists(path("hold")); ++i) {
        plat::SleepMilliseconds(10);
      }
      if (!qvtest::Exists(path("hold"))) return "the lock holder did not take the lock";
    }
  }
  if (dll != "none") install.CopyEngine(dll);
  if (!ini.empty()) install.WriteIni(ini);
  if (!logsetup.empty()) install.LogSetup(plat::FromUtf8(logsetup));

  plat::Process launcher = qvtest::StartProgram(
      qvtest::Program("launcher"), plat::FromUtf8(Replaced(row[kCommand], "{root}\\", root)));
  if (!launcher) return "the launcher could not be started";
  // The box column "-": under a display no box may come up.
  std::string box, extra;
  const bool expectBox = !row[kBox].empty() && row[kBox] != "-";
  // A slow first start of the display may take long; a launcher whose box
  // never came is ended, so that its box cannot answer for the next row.
  if (expectBox && !plat::DismissMessageBox("Vantrel Orbeck", 60000, box)) {
    plat::KillProcess(*launcher);
    return "no message box appeared";
  }
  if (!row[kBox].empty() &&
      plat::DismissMessageBox("Vantrel Orbeck", expectBox ? 300 : 1000, extra)) {
    return "an unexpected box: " + extra;
  }
  std::int64_t exitCode = 0;
  const bool exited = plat::WaitProcess(*launcher, exitCode);
  for (const std::u16string& name : env) plat::SetEnvironment(name, u"", true);
  if (holder) {
    std::int64_t ignored = 0;
    qvtest::WriteBytes(path("hold.release"), "");
    plat::WaitProcess(*holder, ignored);
  }

  if (!exited || exitCode != qvtest::ExitAsSeen(std::stoll(row[kExit]))) {
    return "exit code " + std::to_string(exitCode);
  }
  const std::vector<std::string> calls = Split(qvtest::ReadBytes(install / u"trace.txt"), '\n');
  if (row[kEngine] == "-" ? !calls.empty() : calls.size() != 1) {
    return "engine called " + std::to_string(calls.size()) + " times";
  }
  if (row[kEngine] != "-" && row[kEngine] != "*" && calls[0] != row[kEngine]) {
    return "engine saw " + calls[0];
  }
  if (box != plat::ToAnsiCodePage(plat::FromUtf8(expectBox ? row[kBox] : ""))) {
    return "box text differs: " + box;
  }
  for (const std::string& w : Split(row[kFiles], ' ')) {
    const std::string rel = w.substr(w.find(':') + 1);
    std::error_code ec;
    if (w.rfind("no:", 0) == 0 && qvtest::Exists(path(rel))) return rel + " exists";
    if (w.rfind("has:", 0) == 0 && !qvtest::Exists(path(rel))) return rel + " is missing";
    if (w.rfind("empty:", 0) == 0) {
      for (const auto& e : std::filesystem::directory_iterator(qvtest::NativePath(path(rel)), ec)) {
        return "left in " + rel + ": " + e.path().filename().string();
      }
    }
    if (w.find('=') == std::string::npos) continue;
    // FILE=JOB:STATUS,... : exactly these records, each with the line the
    // engine received; STATUS in full or its last number, JOB ##### a number.
    std::vector<std::string> faults;
    const auto records = qvtest::ReadLog(path(w.substr(0, w.find('='))), faults);
    const std::vector<std::string> wanted = Split(w.substr(w.find('=') + 1), ',');
    if (!faults.empty() || records.size() != wanted.size()) {
      return w + ": " + std::to_string(records.size()) + " records " +
             (faults.empty() ? "" : faults[0]);
    }
    for (std::size_t k = 0; k < wanted.size(); ++k) {
      const qvtest::LogRecord& r = records[k];
      const std::string job = wanted[k].substr(0, wanted[k].find(':'));
      const std::string status = wanted[k].substr(wanted[k].find(':') + 1);
      const bool number =
          r.job.size() == 5 && r.job.find_first_not_of("0123456789") == std::string::npos;
      if ((job == "#####" ? !number : r.job != job) ||
          (r.status != status && !r.status.ends_with("-" + status)) ||
          (!calls.empty() && calls[0].find("cmd=[" + r.commandLine + "]") == std::string::npos)) {
        return w + ": record " + std::to_string(k) + " is " + r.job + "," + r.status + "," +
               r.commandLine;
      }
    }
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: e2e_runner TABLE [NAME_FILTER]\n");
    return 2;
  }
  // Box texts are in code page 932 (Shift-JIS); under another code page both
  // sides would turn the Japanese into "?" and compare equal unseen.
  const bool shiftJis = plat::ToAnsiCodePage(u"\u30B8\uFF72") == "\x83\x57\xB2";
  std::ifstream in(argv[1], std::ios::binary);
  int passed = 0;
  int failed = 0;
  std::string text;
  for (int line = 1; std::getline(in, text); ++line) {
    std::vector<std::string> row = Split(text, '|');
    if (row.size() < 6 || row[kName][0] == '#' ||
        (argc > 2 && row[kName].find(argv[2]) == std::string::npos)) {
      continue;
    }
    row.resize(7);
    // A command line in brackets keeps its blanks.
    if (row[kCommand].starts_with('['))
      row[kCommand] = row[kCommand].substr(1, row[kCommand].size() - 2);
    row[kBox] = Replaced(row[kBox], "\\n", "\n");
    std::string failure =
        row[kBox].empty() || shiftJis ? Run(row) : "the ANSI code page is not 932";
    if (!failure.empty()) failure = " (line " + std::to_string(line) + "): " + failure;
    std::printf("%s  %s%s\n", failure.empty() ? "ok  " : "FAIL", row[kName].c_str(),
                failure.c_str());
    ++(failure.empty() ? passed : failed);
  }
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
