// The engine library contract: Qorvane.dll and its entry point Qorvane4EXE.
#pragma once

#include <cstdint>
#include <string>

// Parent window, display word, empty text, command line, error-log path.
using EngineEntry = std::int32_t (*)(void* parentWindow, std::uint32_t displayWord,
                                     const char16_t* reserved, const char16_t* commandLine,
                                     const char16_t* errorLogPath);

inline constexpr const char* kEngineExport = "Qorvane4EXE";
inline constexpr const char16_t* kEngineLibrary = u"\\Qorvane.dll";

std::uint32_t ComputeDisplayWord();

enum class EngineRunStatus { Called, LibraryMissing, EntryPointMissing };
// Loads programDir + "\Qorvane.dll", looks up the export, calls it once and
// unloads; the result is set only when it was called.
EngineRunStatus RunEngine(const std::u16string& programDir, std::uint32_t displayWord,
                          const std::u16string& commandLine, std::int32_t& result);
