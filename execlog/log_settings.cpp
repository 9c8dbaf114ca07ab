#include "execlog/log_settings.h"

#include <algorithm>
#include <array>
#include <limits>

#include "execlog/path_text.h"
#include "install/install.h"
#include "platform/platform.h"
#include "platform/text.h"

namespace {

constexpr std::size_t kNoLimit = std::u16string_view::npos;
constexpr std::size_t kLongestSetupPath = 263;    // path buffer of 264
constexpr std::size_t kLongestDefaultText = 259;  // default directory buffer of 260
constexpr std::size_t kPieceCapacity = 255;       // 254 code units and the terminator
constexpr std::int64_t kBytesPerMiB = 1048576;
constexpr std::int32_t kDefaultRetryCount = 200;
constexpr std::int32_t kMaxRetryCount = 10000;
constexpr std::u16string_view kLogSetupFileName = u"logsetup_w.properties";

struct ComponentInfo {
  std::u16string_view name;
  std::u16string_view word;  // in its keys, and its default log file <word>.log
};

constexpr std::array<ComponentInfo, kComponentCount> kComponents = {{
    {u"Vorn", u"vorn"},
    {u"Bralden", u"bralden"},
    {u"Mirvo", u"mirvo"},
    {u"Quelp", u"quelp"},
    {u"Orbeck", u"orbeck"},
    {u"Lunder", u"lunder"},
}};

// One key of the file. A key without a longest value names an owned text.
struct KeyEntry {
  std::u16string_view key;
  std::size_t longest;
  std::u16string LogSettings::*field;  // null for a component's field
  int component;                       // index into components, else -1
  std::u16string ComponentLogSettings::*componentField;
};

constexpr KeyEntry RecordKey(std::u16string_view key, std::size_t longest,
                             std::u16string LogSettings::*field) {
  return {key, longest, field, -1, nullptr};
}

constexpr std::array<KeyEntry, 12> kRecordKeys = {{
    RecordKey(u"runtime.output.dir", kNoLimit, &LogSettings::outputDir),
    RecordKey(u"runtime.output.errcodeonly", 1, &LogSettings::errCodeOnly),
    RecordKey(u"runtime.output.retrycount", 5, &LogSettings::retryCountText),
    RecordKey(u"runtime.rotate.active", 1, &LogSettings::rotateActive),
    RecordKey(u"runtime.rotate.dir", kNoLimit, &LogSettings::rotateDir),
    RecordKey(u"runtime.rotate.rule.dateflg", 1, &LogSettings::rotateDateFlag),
    RecordKey(u"runtime.rotate.rule.datetype", 1, &LogSettings::rotateDateType),
    RecordKey(u"runtime.rotate.rule.sizeflg", 1, &LogSettings::rotateSizeFlag),
    RecordKey(u"runtime.rotate.rule.size", 2, &LogSettings::rotateSize),
    RecordKey(u"runtime.rotate.times", 2, &LogSettings::rotateTimes),
    RecordKey(u"runtime.rotate.name.description", 11, &LogSettings::rotateNameDescription),
    RecordKey(u"runtime.rotate.name.position", 1, &LogSettings::rotateNamePosition),
}};

// Each component's keys: runtime.<word><suffix>.
struct ComponentKeyInfo {
  std::u16string_view suffix;
  std::size_t longest;
  std::u16string ComponentLogSettings::*field;
};

constexpr std::array<ComponentKeyInfo, 3> kComponentKeys = {{
    {u".active", 1, &ComponentLogSettings::active},
    {u".outfile", kNoLimit, &ComponentLogSettings::outFile},
    {u".erractive", 1, &ComponentLogSettings::errActive},
}};

// Every key of the file: the record keys, then each component's in the
// order of the component table.
const std::vector<KeyEntry>& Keys() {
  struct Table {
    std::vector<std::u16string> names;  // reserved up front: the entries view them
    std::vector<KeyEntry> entries;
  };
  static const Table table = [] {
    Table t;
    t.names.reserve(kComponentCount * kComponentKeys.size());
    t.entries.assign(kRecordKeys.begin(), kRecordKeys.end());
    for (std::size_t c = 0; c < kComponentCount; ++c) {
      for (const ComponentKeyInfo& k : kComponentKeys) {
        t.names.push_back(u"runtime." + std::u16string(kComponents[c].word) +
                          std::u16string(k.suffix));
        t.entries.push_back({t.names.back(), k.longest, nullptr, static_cast<int>(c), k.field});
      }
    }
    return t;
  }();
  return table.entries;
}

std::u16string& FieldOf(LogSettings& settings, const KeyEntry& entry) {
  if (entry.field != nullptr) return settings.*entry.field;
  return settings.components[static_cast<std::size_t>(entry.component)].*entry.componentField;
}

bool IsOn(const std::u16string& flag) {
  return flag == u"1";
}

// Frees the text's memory, as releasing an owned text must.
void ReleaseText(std::u16string& text) {
  std::u16string().swap(text);
}

// Buffered 16-bit little-endian reads.
struct CodeUnitReader {
  plat::FileObject* file = nullptr;
  std::array<unsigned char, 4096> bytes{};
  std::size_t pos = 0;
  std::size_t len = 0;
};

// 1 with a code unit; 0 at the end of the file, where an odd last byte forms no
// code unit; -1 when the read fails.
int NextCodeUnit(CodeUnitReader& reader, char16_t& unit) {
  if (reader.len - reader.pos < 2) {
    const std::size_t left = reader.len - reader.pos;
    if (left == 1) reader.bytes[0] = reader.bytes[reader.pos];
    reader.pos = 0;
    reader.len = left;
    while (reader.len < 2) {
      const std::ptrdiff_t got = plat::ReadBytes(*reader.file, reader.bytes.data() + reader.len,
                                                 reader.bytes.size() - reader.len);
      if (got < 0) return -1;
      if (got == 0) return 0;
      reader.len += static_cast<std::size_t>(got);
    }
  }
  unit = static_cast<char16_t>(reader.bytes[reader.pos] | (reader.bytes[reader.pos + 1] << 8));
  reader.pos += 2;
  return 1;
}

// Whole MiB of the file, measured in 64 bits so that logs of 2 GiB and more
// are not taken for empty; 0 when it does not open.
std::int32_t LogSizeMiB(const std::u16string& path) {
  if (path.empty()) return 0;
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::ReadShared, file) != plat::OpenStatus::Opened) return 0;
  std::uint64_t size = 0;
  if (!plat::FileSizeOf(*file, size)) return 0;
  const std::uint64_t mib = size / kBytesPerMiB;
  constexpr std::uint64_t kMax = std::numeric_limits<std::int32_t>::max();
  return static_cast<std::int32_t>(mib < kMax ? mib : kMax);
}

// The default directory base + "\log"; false when it would not fit a path.
bool ComposeDefaultDir(const std::u16string& base, std::u16string& out) {
  out = base + u"\\log";
  return out.size() <= kLongestDefaultText;
}

// A name as the file system compares names: letter case folded, "/" as "\\",
// trailing dots and spaces dropped.
std::u16string FoldedName(std::u16string_view name) {
  std::u16string folded = LowerAscii(name);
  std::replace(folded.begin(), folded.end(), u'/', u'\\');
  while (!folded.empty() && (folded.back() == u'.' || folded.back() == u' ')) folded.pop_back();
  return folded;
}

}  // namespace

std::u16string_view ComponentName(std::size_t index) {
  return kComponents.at(index).name;
}
std::u16string_view ComponentWord(std::size_t index) {
  return kComponents.at(index).word;
}

bool NamesSettingsFile(const std::u16string& path) {
  const std::u16string name = FoldedName(SplitFileName(path));
  if (name == FoldedName(kLogSetupFileName) || name == FoldedName(kSettingsFileName)) return true;
  std::u16string settingsFile;
  if (!GetSettingsFilePath(settingsFile)) settingsFile.clear();
  for (const std::u16string& file : {GetLogSetupPath(), settingsFile}) {
    if (file.empty()) continue;
    if (FoldedName(file) == FoldedName(path) || plat::SameFile(file, path)) return true;
  }
  return false;
}

std::int32_t DecimalValue(std::u16string_view text) {
  text = plat::Trim(text);
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) {
    negative = text[pos] == u'-';
    ++pos;
  }
  // The magnitude stops growing just past the range, so long digit runs
  // saturate instead of overflowing.
  constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int64_t magnitude = 0;
  for (; pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9'; ++pos) {
    magnitude = std::min(magnitude * 10 + (text[pos] - u'0'), -kMin);
  }
  const std::int64_t value = std::clamp(negative ? -magnitude : magnitude, kMin, kMax);
  return static_cast<std::int32_t>(value);
}

void InitLogSettings(LogSettings& settings) {
  settings = LogSettings{};
}

std::u16string GetLogSetupPath() {
  std::u16string path;
  ReadSettingString(u"Common", u"Logsetup", u"", path);
  if (path.empty()) {
    std::u16string privateDir;
    if (GetPrivateDir(privateDir) == 0) return {};
    path = privateDir + u"\\" + std::u16string(kLogSetupFileName);
  }
  if (path.size() > kLongestSetupPath) return {};
  return path;
}

std::optional<std::u16string> ReadWideTextFile(const std::u16string& path) {
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::ReadShared, file) != plat::OpenStatus::Opened) {
    return std::nullopt;
  }
  WideBuffer piece = AllocWideText(static_cast<std::int32_t>(kPieceCapacity));
  if (!piece) return std::nullopt;
  // The first two bytes are the byte-order mark's place; they are not examined.
  if (!plat::SeekFileTo(*file, 2)) return std::nullopt;

  CodeUnitReader reader;
  reader.file = file.get();
  std::u16string text;
  bool atEnd = false;
  while (!atEnd) {
    std::size_t count = 0;
    bool lineEnd = false;
    while (count < kPieceCapacity - 1 && !lineEnd) {
      char16_t unit = 0;
      const int got = NextCodeUnit(reader, unit);
      if (got < 0) return std::nullopt;
      if (got == 0) {
        atEnd = true;
        break;
      }
      piece[count++] = unit;
      lineEnd = unit == u'\n';
    }
    piece[count] = u'\0';
    // Appended as a terminated string: a NUL code unit ends the piece.
    text.append(piece.get());
  }
  return text;
}

std::vector<LogSetupKeyLimit> LogSetupKeyLimits() {
  std::vector<LogSetupKeyLimit> limits;
  for (const KeyEntry& entry : Keys()) limits.push_back({entry.key, entry.longest});
  return limits;
}

int ApplyLogSetupLine(std::u16string_view line, LogSettings& settings) {
  const plat::KeyValue pair = plat::SplitKeyValue(line);
  const std::u16string_view value = pair.value.value_or(std::u16string_view());
  for (const KeyEntry& entry : Keys()) {
    if (entry.key != pair.key) continue;
    std::u16string& field = FieldOf(settings, entry);
    if (entry.longest == kNoLimit) return AssignWideText(field, value) ? 1 : 0;
    // A value too long for its field is rejected, never cut.
    if (value.size() <= entry.longest) field.assign(value);
    return 1;
  }
  return 1;
}

void LoadLogSettings(LogSettings& settings) {
  const std::u16string path = GetLogSetupPath();
  if (path.empty()) return;
  const std::optional<std::u16string> text = ReadWideTextFile(path);
  if (!text) return;
  const std::u16string_view all = *text;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] != u'\r' && all[i] != u'\n') continue;
    if (ApplyLogSetupLine(all.substr(lineStart, i - lineStart), settings) == 0) return;
    lineStart = i + 1;
  }
  // Text after the last line end is an unfinished line: it is not applied.
}

void FinalizeLogSettings(LogSettings& settings) {
  std::u16string base;
  std::u16string defaultDir;
  const bool haveDefaultDir = GetLogBaseDir(base) != 0 && ComposeDefaultDir(base, defaultDir);
  if (haveDefaultDir) {
    if (settings.outputDir.empty()) AssignWideText(settings.outputDir, defaultDir);
    if (settings.rotateDir.empty()) AssignWideText(settings.rotateDir, defaultDir);
  }
  for (std::size_t i = 0; i < kComponentCount; ++i) {
    std::u16string& outFile = settings.components[i].outFile;
    if (outFile.empty()) AssignWideText(outFile, std::u16string(kComponents[i].word) + u".log");
  }

  settings.loadTime = plat::Now().seconds;
  settings.rotateEnabled = IsOn(settings.rotateActive) ? 1 : 0;
  if (IsOn(settings.rotateSizeFlag)) {
    settings.rotateBySize = 1;
    settings.rotateSizeLimitMiB = DecimalValue(settings.rotateSize);
  } else {
    settings.rotateBySize = 0;
  }
  if (IsOn(settings.rotateDateFlag)) {
    settings.rotateByDate = 1;
    if (settings.rotateDateType == u"0") settings.rotateDateUnit = 0;
    if (settings.rotateDateType == u"1") settings.rotateDateUnit = 1;
    if (settings.rotateDateType == u"2") settings.rotateDateUnit = 2;
  } else {
    settings.rotateByDate = 0;
  }

  for (std::size_t i = 0; i < kComponentCount; ++i) {
    if (kComponents[i].name != settings.componentName) continue;
    const ComponentLogSettings& component = settings.components[i];
    settings.componentActive = IsOn(component.active) ? 1 : 0;
    // Without an output directory the log has no location and its path stays
    // empty: the launcher refuses it rather than drop an active component's
    // records in silence. So it does for a settings file, whose records would
    // be read back as settings. The separator goes in even after one that ends
    // the directory.
    std::u16string path;
    if (settings.outputDir.empty() || component.outFile.empty() ||
        !AssignWideText(path, settings.outputDir + u"\\" + component.outFile) ||
        NamesSettingsFile(path)) {
      ReleaseText(settings.logFilePath);
      break;
    }
    settings.logFilePath.swap(path);
    break;
  }
  settings.logSizeMiB = LogSizeMiB(settings.logFilePath);

  if (settings.rotateNamePosition == u"0") settings.rotateNamePos = 0;
  if (settings.rotateNamePosition == u"1") settings.rotateNamePos = 1;
  if (!settings.retryCountText.empty()) {
    const std::int32_t count = DecimalValue(settings.retryCountText);
    settings.retryCount = count < 1 || count > kMaxRetryCount ? kDefaultRetryCount : count;
  }
}

void ApplyLogFileOption(LogSettings& settings, std::u16string_view value) {
  if (value.empty()) return;
  // Both parts are empty only when one of them is too long to split.
  const std::u16string directory = SplitDirectory(value);
  const std::u16string fileName = SplitFileName(value);
  std::u16string outputDir;
  std::u16string logFilePath;
  if (value.find_first_of(u"\\/") == std::u16string_view::npos) {
    // A bare file name goes into the output directory.
    if (!fileName.empty() && !settings.outputDir.empty()) {
      outputDir = settings.outputDir;
      logFilePath = outputDir + u"\\" + std::u16string(value);
    }
  } else if (!directory.empty()) {
    outputDir = directory;
    logFilePath = outputDir + (outputDir.back() == u'\\' ? u"" : u"\\") + fileName;
  }
  // Records appended to a settings file would be read back as settings.
  if (!logFilePath.empty() && NamesSettingsFile(logFilePath)) {
    outputDir.clear();
    logFilePath.clear();
  }
  std::u16string ownedDir;
  std::u16string ownedPath;
  if (!AssignWideText(ownedDir, outputDir) || !AssignWideText(ownedPath, logFilePath)) return;
  settings.outputDir.swap(ownedDir);
  settings.logFilePath.swap(ownedPath);
}

void ReleaseLogSettings(LogSettings& settings) {
  ReleaseText(settings.outputDir);
  ReleaseText(settings.rotateDir);
  for (ComponentLogSettings& component : settings.components) ReleaseText(component.outFile);
  ReleaseText(settings.logFilePath);
}
