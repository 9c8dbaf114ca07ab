// The launcher's own options (-Lid, -Lfn, -Lrf, -API) and the job identifier.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// 1 when name stands at a word start (the first character, or one right after
// a space) of text, else 0. Every space counts, so runs of spaces and words
// that are a prefix of the name hide nothing.
int HasOption(std::u16string_view text, std::u16string_view name);
// The value of the first occurrence of name: a quoted value directly after
// the name (without its quotes), else up to the next space; empty when absent.
std::u16string GetOptionValue(std::u16string_view text, std::u16string_view name);
// Removes every occurrence of a non-empty part, in place, including those that
// a removal itself brings together; an empty part leaves the text alone.
void RemoveAllOccurrences(std::u16string& text, std::u16string_view part);
// False (and jobId := "vtJobIdError") when invalid.
bool ValidateJobId(std::u16string& jobId);
// 0 to 99999, from the clock (plat::Now, which a test may fix) and the line.
int GenerateJobNumber(std::u16string_view commandLine);
// The generator seed behind GenerateJobNumber, 0 to 999999999.
std::uint32_t JobNumberSeed(std::int64_t seconds, int milliseconds,
                            std::u16string_view commandLine);
