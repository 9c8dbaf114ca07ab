// Installation directories from VANTREL_V12 and single-value reads of the
// suite settings file "VantrelV12.ini".
#pragma once

#include <string>

// Field index of VANTREL_V12 (0 to 4) into out. 1 on success; an index outside
// 0-4 leaves out untouched (and still answers 1). 0 when the field is longer
// than a directory may be (259 characters), out then left as it was.
int ReadInstallRoot(int index, std::u16string& out);
int GetProgramDir(std::u16string& out);  // field 0
int GetPrivateDir(std::u16string& out);  // field 1 + "\private"
int GetSystemDir(std::u16string& out);   // field 1 + "\system"
int GetLogBaseDir(std::u16string& out);  // field 2

// Value of [section] key, or def, into destination. 1; 0 only without memory
// for the path (destination untouched).
int ReadSettingString(const std::u16string& section, const std::u16string& key,
                      const std::u16string& def, std::u16string& destination);
int ReadSettingInt(const std::u16string& section, const std::u16string& key, int def);
// True when [Common] key reads exactly 1.
bool ReadCommonFlag(const std::u16string& key);
