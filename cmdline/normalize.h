// The command-line normaliser: one canonical form of the launcher's command
// line before its options are read and before the engine sees it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Tokens as copies of contiguous, non-empty stretches of the input, in order.
std::vector<std::u16string> SplitCommandLineTokens(std::u16string_view text);
bool ContainsWhiteSpace(std::u16string_view text);
std::u16string NormalizeCommandLine(std::u16string_view text);
