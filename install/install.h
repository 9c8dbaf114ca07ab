// Installation directories from VANTREL_V12 and single-value reads of the
// suite settings file "VantrelV12.ini".
#pragma once

#include <string>
#include <string_view>

inline constexpr std::u16string_view kSettingsFileName = u"VantrelV12.ini";

// Field index of VANTREL_V12 (0 to 4) into out. 1 on success; an index outside
// 0-4 leaves out untouched (and still answers 1). 0 when the field is longer
// than a directory may be (259 characters), out then left as it was.
int ReadInstallRoot(int index, std::u16string& out);
int GetProgramDir(std::u16string& out);  // field 0
int GetPrivateDir(std::u16string& out);  // field 1 + "\private"
int GetSystemDir(std::u16string& out);   // field 1 + "\system"
int GetLogBaseDir(std::u16string& out);  // field 2

// The system directory + "\VantrelV12.ini" into path; false when the system
// directory is unavailable or the path is longer than 259 characters, in
// which case every read answers with its default.
bool GetSettingsFilePath(std::u16string& path);

// Value of [section] key, or def, into destination. 1; 0 only without memory
// for the path (destination untouched).
int ReadSettingString(const std::u16string& section, const std::u16string& key,
                      const std::u16string& def, std::u16string& destination);
int ReadSettingInt(const std::u16string& section, const std::u16string& key, int def);
// True when [Common] key reads exactly 1.
bool ReadCommonFlag(const std::u16string& key);
