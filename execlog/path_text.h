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

// target := a copy of value. False, target untouched, when the memory for the
// copy cannot be had (an injected allocation fault); the owned texts of the
// log settings are replaced through this.
bool AssignWideText(std::u16string& target, std::u16string_view value);

// Path parts: the drive is "X:" when the second character is ":"; the
// directory runs to the last "\" or "/"; the extension from the last "." of
// the rest. A directory, base name or extension over 255 characters makes
// every part empty.
// Drive and directory (up to and including the last "\" or "/").
std::u16string SplitDirectory(std::u16string_view path);
std::u16string SplitBaseName(std::u16string_view path);
std::u16string SplitExtension(std::u16string_view path);  // with its "."
std::u16string SplitFileName(std::u16string_view path);   // base name + extension

// Every occurrence of find replaced, left to right, no overlap, never rescanned.
// An empty text or find, or no memory for the result, returns text unchanged.
std::u16string ReplaceAll(std::u16string text, std::u16string_view find,
                          std::u16string_view replacement);

// Letter case folded as the file system folds names: A-Z only.
std::u16string LowerAscii(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// 1 for an existing directory; 0 for a missing path or a file.
int DirectoryExists(const std::u16string& path);
// 1 when the file opens for reading (others free to read and write it, so a
// log held by a writer counts); 0 for a missing file or a directory.
int FileOpenable(const std::u16string& path);
// Creates one level; 1 when created, 0 when it failed or already exists.
int MakeDirectory(const std::u16string& path);
// True when path is a directory, made here (one level) if it was missing. A
// creation that fails because another process made the directory a moment
// ago leaves a directory all the same.
bool EnsureDirectory(const std::u16string& path);
