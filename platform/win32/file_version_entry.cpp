// Prints a program's version resource as Windows reads it, for the package
// test: the fixed file version, then ProductName, FileVersion and
// ProductVersion of its first translation, one per line.
//
// usage: file_version PROGRAM
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: file_version PROGRAM\n");
    return 2;
  }
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  std::vector<char> block(size);
  void* value = nullptr;
  UINT length = 0;
  if (size == 0 || !GetFileVersionInfoW(argv[1], 0, size, block.data()) ||
      !VerQueryValueW(block.data(), L"\\", &value, &length) || length < sizeof(VS_FIXEDFILEINFO)) {
    std::fprintf(stderr, "file_version: no version resource in %ls\n", argv[1]);
    return 1;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  std::printf("fixed %u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
              HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS));
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) || length < 4) {
    return 1;
  }
  const auto* translation = static_cast<const WORD*>(value);
  wchar_t prefix[64];
  swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translation[0], translation[1]);
  for (const wchar_t* name : {L"ProductName", L"FileVersion", L"ProductVersion"}) {
    const std::wstring key = std::wstring(prefix) + name;
    if (!VerQueryValueW(block.data(), key.c_str(), &value, &length)) return 1;
    std::printf("%ls %ls\n", name, static_cast<const wchar_t*>(value));
  }
  return 0;
}
