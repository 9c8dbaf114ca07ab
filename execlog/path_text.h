// Path and text helpers shared by the execution-log code.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A zero-filled buffer of count wide characters; null when no memory (or an
// injected allocation fault). FreeWideText releases it and returns null.
using WideBuffer = std::unique_ptr<char16_t[]>;
WideBuffer AllocWideText(std::int32_t count);
WideBuffer FreeWideText(WideBuffer buffer);

// Drive and directory (up to and including the last "\" or "/").
std::u16string SplitDirectory(std::u16string_view path);
std::u16string SplitBaseName(std::u16string_view path);
std::u16string SplitExtension(std::u16string_view path);  // with its "."
std::u16string SplitFileName(std::u16string_view path);   // base name + extension

// Every occurrence of find replaced, left to right, no overlap, never rescanned.
std::u16string ReplaceAll(std::u16string text, std::u16string_view find,
                          std::u16string_view replacement);

int DirectoryExists(const std::u16string& path);
int FileOpenable(const std::u16string& path);
int MakeDirectory(const std::u16string& path);
