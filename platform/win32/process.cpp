// Child processes, the location of the running executable, console programs.
#include "platform/platform.h"
#include "platform/testing.h"
#include "platform/text.h"
#include "platform/win32/text.h"
// After <windows.h>, which text.h brings in.
#include <shellapi.h>

namespace plat {

struct ProcessObject {
  HANDLE handle = nullptr;
};

void ProcessCloser::operator()(ProcessObject* process) const {
  if (process == nullptr) return;
  CloseHandle(process->handle);
  delete process;
}

Process StartProcess(const std::u16string& exe, const std::u16string& commandLine) {
  // The child sees its own name, quoted, in front of its arguments.
  std::u16string line = u"\"" + exe + u"\"";
  if (!commandLine.empty()) line += u" " + commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  // The handles of this process (open logs, the rotation lock) stay here.
  if (CreateProcessW(win32::Wide(exe), reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr,
                     FALSE, 0, nullptr, nullptr, &startup, &info) == FALSE) {
    return nullptr;
  }
  CloseHandle(info.hThread);
  return Process(new ProcessObject{info.hProcess});
}

bool WaitProcess(ProcessObject& process, std::int64_t& exitCode) {
  if (WaitForSingleObject(process.handle, INFINITE) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  if (GetExitCodeProcess(process.handle, &code) == FALSE) return false;
  // Result codes are signed: -2001 leaves as 0xFFFFF82F and comes back as -2001.
  exitCode = static_cast<std::int32_t>(code);
  return true;
}

bool KillProcess(ProcessObject& process) {
  return TerminateProcess(process.handle, 1) != FALSE;
}

std::u16string ExecutableDirectory() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    DWORD size = static_cast<DWORD>(path.size());
    DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), size);
    if (length == 0) return {};
    if (length < size) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  std::size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::vector<std::string> ConsoleArguments(int argc, char** argv) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    return args;
  }
  for (int i = 1; i < count; ++i)
    args.push_back(ToUtf8(reinterpret_cast<const char16_t*>(wide[i])));
  LocalFree(wide);
  return args;
}

void UseUtf8Console() {
  SetConsoleOutputCP(CP_UTF8);
}

}  // namespace plat
