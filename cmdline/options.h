// The launcher's own options (-Lid, -Lfn, -Lrf, -API) and the job identifier.
#pragma once

#include <string>
#include <string_view>

int HasOption(std::u16string_view text, std::u16string_view name);
std::u16string GetOptionValue(std::u16string_view text, std::u16string_view name);
// Removes every occurrence of a non-empty part, in place.
void RemoveAllOccurrences(std::u16string& text, std::u16string_view part);
// False (and jobId := "vtJobIdError") when invalid.
bool ValidateJobId(std::u16string& jobId);
// 0 to 99999, from the clock (plat::Now, which a test may fix) and the line.
int GenerateJobNumber(std::u16string_view commandLine);
