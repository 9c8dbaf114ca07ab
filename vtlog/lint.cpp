#include "vtlog/lint.h"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <tuple>

#include "engine/error_reporter.h"
#include "execlog/log_settings.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "vtlog/log_read.h"

namespace {

constexpr std::size_t kNoLimit = std::u16string_view::npos;
constexpr std::size_t kLongestLogsetupValue = 263;
constexpr std::size_t kHeadBytes = 4096;
constexpr std::size_t kLongestIniBytes = std::size_t{16} * 1024 * 1024;

using plat::Trim;

bool HasDigitsAtStart(std::u16string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && (text[pos] == u' ' || (text[pos] >= u'\t' && text[pos] <= u'\r'))) {
    ++pos;
  }
  if (pos < text.size() && (text[pos] == u'+' || text[pos] == u'-')) ++pos;
  return pos < text.size() && text[pos] >= u'0' && text[pos] <= u'9';
}

bool OnlyDigits(std::u16string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char16_t c) { return c >= u'0' && c <= u'9'; });
}

// Optional sign and decimal digits, nothing else.
bool PlainDecimal(std::u16string_view text) {
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) text.remove_prefix(1);
  return OnlyDigits(text);
}

std::string ReadsText(int read, std::u16string_view value) {
  return "the launcher reads " + std::to_string(read) + (value.empty() ? " (the default)" : "");
}

std::string Quote(std::u16string_view text) {
  return Excerpt(text, 80);
}

// At most limit bytes of the file; false when it cannot be opened or read.
bool ReadHead(const std::u16string& path, std::size_t limit, std::string& bytes) {
  plat::FileHandle file;
  if (plat::OpenFile(path, plat::OpenMode::ReadSharedAll, file) != plat::OpenStatus::Opened) {
    return false;
  }
  bytes.clear();
  char buffer[4096];
  while (bytes.size() < limit) {
    const std::ptrdiff_t n =
        plat::ReadBytes(*file, buffer, std::min(sizeof buffer, limit - bytes.size()));
    if (n < 0) return false;
    if (n == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return true;
}

struct Lines {
  std::vector<std::u16string_view> lines;  // without line ends
  bool lastUnended = false;                // the last entry had no line end
};

// A CR LF counts as one line end for the numbering; a lone CR or LF as one too.
Lines SplitLines(std::u16string_view text) {
  Lines out;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    out.lines.push_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) {
    out.lines.push_back(text.substr(start));
    out.lastUnended = true;
  }
  return out;
}

std::vector<std::u16string_view> KeyNames() {
  std::vector<std::u16string_view> names;
  for (const LogSetupKey& key : LogSetupKeys()) names.push_back(key.key);
  return names;
}

const LogSetupKey* FindKey(std::u16string_view key, bool ignoreCase) {
  for (const LogSetupKey& entry : LogSetupKeys()) {
    if (entry.key == key || (ignoreCase && EqualsIgnoreCase(entry.key, key))) return &entry;
  }
  return nullptr;
}

using AddFn = std::function<void(Severity, const char*, std::string, std::string)>;

// A retry count or a number of the rotation, as the decimal reading rule reads it.
void CheckNumber(const LogSetupKey& key, std::u16string_view value, const AddFn& add) {
  if (value.empty()) return;
  if (key.kind == LogSetupKey::Retry) {
    const std::int32_t count = DecimalValue(value);
    if (count < 1 || count > 10000) {
      add(Severity::Warning, "retry-range",
          "retry count " + Quote(value) + " is outside 1 to 10000",
          "the launcher makes 200 attempts");
    } else if (!OnlyDigits(value)) {
      add(Severity::Warning, "no-digits", "retry count " + Quote(value) + " is not a number",
          "the launcher reads it as " + std::to_string(count));
    }
  } else if (!HasDigitsAtStart(value)) {
    add(Severity::Warning, "no-digits", "value " + Quote(value) + " has no digits",
        key.key == u"runtime.rotate.times"
            ? "the launcher reads 0 and prunes nothing"
            : "the launcher reads 0: with size rotation on, every run rotates");
  } else if (!OnlyDigits(value)) {
    add(Severity::Warning, "no-digits", "value " + Quote(value) + " is not a plain number",
        "the launcher reads it as " + std::to_string(DecimalValue(value)));
  }
}

// Findings about the value of a line the launcher applies.
void CheckValue(const LogSetupKey& key, std::u16string_view value, Finding base,
                std::vector<Finding>& out) {
  const AddFn add = [&](Severity severity, const char* kind, std::string message,
                        std::string effect) {
    Finding f = base;
    f.severity = severity;
    f.kind = kind;
    f.message = std::move(message);
    f.effect = std::move(effect);
    out.push_back(std::move(f));
  };
  if (!value.empty() && Trim(value) != value) {
    add(Severity::Warning, "blanks-around-value", "blanks around the value " + Quote(value),
        "the launcher takes the value with its blanks");
  }
  switch (key.kind) {
    case LogSetupKey::Flag:
      if (!value.empty() && value != u"0" && value != u"1") {
        add(Severity::Warning, "flag-value", "flag " + Quote(value) + " is neither \"0\" nor \"1\"",
            "the launcher counts it as off (only \"1\" is on)");
      }
      break;
    case LogSetupKey::Retry:
    case LogSetupKey::Number:
      CheckNumber(key, value, add);
      break;
    case LogSetupKey::DateType:
      if (!value.empty() && value != u"0" && value != u"1" && value != u"2") {
        add(Severity::Warning, "date-type", "date type " + Quote(value) + " is not 0, 1 or 2",
            "the launcher keeps the unit month");
      }
      break;
    case LogSetupKey::Position:
      if (!value.empty() && value != u"0" && value != u"1") {
        add(Severity::Warning, "name-position", "name position " + Quote(value) + " is not 0 or 1",
            "the launcher puts the date after the base name");
      }
      break;
    case LogSetupKey::Text:
      break;
  }
}

}  // namespace

// The launcher's own key table, with what the lint checks in each value.
const std::vector<LogSetupKey>& LogSetupKeys() {
  static const std::vector<LogSetupKey> keys = [] {
    std::vector<LogSetupKey> k;
    for (const LogSetupKeyLimit& limit : LogSetupKeyLimits()) {
      const std::u16string_view key = limit.key;
      LogSetupKey::Kind kind = LogSetupKey::Flag;
      if (limit.longest == kNoLimit || key == u"runtime.rotate.name.description") {
        kind = LogSetupKey::Text;
      } else if (key == u"runtime.output.retrycount") {
        kind = LogSetupKey::Retry;
      } else if (key == u"runtime.rotate.rule.size" || key == u"runtime.rotate.times") {
        kind = LogSetupKey::Number;
      } else if (key == u"runtime.rotate.rule.datetype") {
        kind = LogSetupKey::DateType;
      } else if (key == u"runtime.rotate.name.position") {
        kind = LogSetupKey::Position;
      }
      k.push_back({key, limit.longest, kind});
    }
    return k;
  }();
  return keys;
}

std::u16string_view NearestKey(std::u16string_view text,
                               const std::vector<std::u16string_view>& keys,
                               std::size_t& distance) {
  const std::u16string a = LowerAscii(text);
  std::u16string_view best;
  distance = kNoLimit;
  std::vector<std::size_t> row;
  for (std::u16string_view key : keys) {
    const std::u16string b = LowerAscii(key);
    row.resize(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::size_t diagonal = row[0];
      row[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t above = row[j];
        row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
        diagonal = above;
      }
    }
    if (row[b.size()] < distance) {
      distance = row[b.size()];
      best = key;
    }
  }
  return best;
}

namespace {

using LineFindingFn =
    std::function<void(Severity, std::int64_t, const char*, std::string, std::string)>;

// A file that cannot be read (text: as the launcher reads it), or is not
// UTF-16LE; false when nothing of it can be read.
bool LintEncoding(const std::u16string& path, bool text, const LineFindingFn& finding) {
  std::string head;
  if (!ReadHead(path, kHeadBytes, head) || !text) {
    if (plat::PathExists(path)) {
      finding(Severity::Error, 0, "unreadable",
              "the file cannot be read (access denied, or a directory in its place)",
              "the launcher uses the defaults: no job of any component writes a record, "
              "rotation is off");
    } else {
      finding(Severity::Warning, 0, "missing", "the file is missing",
              "the launcher uses the defaults: the component writes no log, rotation is off");
    }
    return false;
  }
  if (head.size() >= 2 && !(head[0] == '\xFF' && head[1] == '\xFE')) {
    // Text in an 8-bit encoding has no zero bytes between its ASCII letters.
    const bool eightBit = head.size() >= 4 && head[1] != '\0' && head[3] != '\0';
    finding(Severity::Error, 1, "no-bom",
            eightBit ? "no byte-order mark: the file is not UTF-16LE"
                     : "no byte-order mark (FF FE) at the start",
            eightBit ? "the launcher reads it as UTF-16LE anyway and finds no key in it"
                     : "the launcher skips the first two bytes anyway: the first line loses "
                       "its first character");
  }
  return true;
}

// A line whose key the launcher does not know as written.
void LintUnknownKey(std::u16string_view key, std::int64_t number,
                    const std::vector<std::u16string_view>& names, const LineFindingFn& finding) {
  if (const LogSetupKey* trimmed = FindKey(Trim(key), true);
      trimmed != nullptr && Trim(key) != key) {
    finding(Severity::Error, number, "blanks-around-equals",
            "blanks around the key " + Quote(key) + " or before \"=\"",
            "the launcher ignores the line");
  } else if (const LogSetupKey* folded = FindKey(key, true); folded != nullptr) {
    finding(Severity::Error, number, "key-case",
            "key " + Quote(key) + " in other case than " + Quote(folded->key),
            "the launcher ignores the line");
  } else {
    std::size_t distance = 0;
    const std::u16string_view nearest = NearestKey(Trim(key), names, distance);
    finding(Severity::Warning, number, "unknown-key",
            "unknown key " + Quote(key) + " (nearest known: " + Quote(nearest) + ")",
            "the launcher ignores the line");
  }
}

// A value too long for its key; true when the launcher ignores the line for it.
bool LintLength(const LogSetupKey& key, std::u16string_view value, std::int64_t number,
                const LineFindingFn& finding) {
  if (key.longest == kNoLimit || value.size() <= key.longest) return false;
  if (Trim(value).size() <= key.longest) {
    finding(Severity::Error, number, "blanks-around-value",
            "blanks around the value " + Quote(value) + " make it longer than " +
                std::to_string(key.longest) + " characters",
            "the launcher ignores the line and keeps the earlier value or the default");
  } else {
    finding(Severity::Error, number, "too-long",
            "value " + Quote(value) + " has " + std::to_string(value.size()) +
                " characters; at most " + std::to_string(key.longest) + " are allowed",
            "the launcher ignores the line and keeps the earlier value or the default");
  }
  return true;
}

}  // namespace

std::vector<Finding> LintLogSetupFile(const std::u16string& path) {
  std::vector<Finding> out;
  const LineFindingFn finding = [&](Severity severity, std::int64_t line, const char* kind,
                                    std::string message, std::string effect) {
    out.push_back({severity, path, line, kind, std::move(message), std::move(effect)});
  };
  const std::optional<std::u16string> text = ReadWideTextFile(path);
  if (!LintEncoding(path, text.has_value(), finding)) return out;
  const Lines lines = SplitLines(*text);
  const std::vector<std::u16string_view> names = KeyNames();
  std::map<std::u16string_view, std::int64_t> applied;
  for (std::size_t i = 0; i < lines.lines.size(); ++i) {
    const auto number = static_cast<std::int64_t>(i + 1);
    const std::u16string_view line = lines.lines[i];
    if (line.empty()) continue;
    if (i + 1 == lines.lines.size() && lines.lastUnended) {
      finding(Severity::Error, number, "no-line-end", "the last line has no line end",
              "the launcher ignores the line " + Quote(line));
      continue;
    }
    const plat::KeyValue pair = plat::SplitKeyValue(line);
    const std::u16string_view key = pair.key;
    const std::u16string_view value = pair.value.value_or(std::u16string_view());
    const LogSetupKey* exact = FindKey(key, false);
    if (exact == nullptr) {
      LintUnknownKey(key, number, names, finding);
      continue;
    }
    if (!pair.value) {
      finding(Severity::Warning, number, "no-equals", "line without \"=\"",
              "the launcher sets " + Quote(key) + " to the empty value");
    }
    if (LintLength(*exact, value, number, finding)) continue;
    if (auto seen = applied.find(exact->key); seen != applied.end()) {
      finding(Severity::Warning, number, "repeated-key",
              "key " + Quote(exact->key) + " already set on line " + std::to_string(seen->second),
              "the launcher takes this later line");
    }
    applied[exact->key] = number;
    CheckValue(*exact, value, {Severity::Warning, path, number, "", "", ""}, out);
  }
  return out;
}

const std::array<SettingsKey, 6>& SettingsKeys() {
  static constexpr std::array<SettingsKey, 6> kKeys = {{
      {u"Common", u"Logsetup", SettingsKey::Path, 0},
      {u"Common", u"ErrorLevel", SettingsKey::Flag, 0},
      {u"Common", u"FromExec", SettingsKey::Flag, 0},
      {u"Common", u"ExeRcode", SettingsKey::Flag, 0},
      {u"Orbeck", u"ProcDisp", SettingsKey::Integer, 2},
      {u"Orbeck", u"ErrorDisp", SettingsKey::Integer, kErrorDispSilent},
  }};
  return kKeys;
}

namespace {

// One "key=value" line of [Common] or [Orbeck], as the profile reader sees it.
struct IniLine {
  std::int64_t number = 0;
  std::u16string section;        // lower case
  std::int64_t sectionLine = 0;  // where the first section of that name began
  bool firstOfName = true;       // in the first section of its name
  std::u16string_view key{};
  std::u16string_view value{};  // unquoted
  const SettingsKey* rule = nullptr;
  std::vector<std::u16string_view> sectionKeys{};  // the launcher's keys of the section
};

// The one pass over the file: sections, keys and values, blanks and quotes
// taken off as the profile reader takes them.
std::vector<IniLine> SplitIni(std::u16string_view text) {
  std::vector<IniLine> out;
  std::u16string section;
  bool firstOfName = true;
  std::map<std::u16string, std::int64_t> sectionLine;  // lower-case name -> first header line
  const Lines lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.lines.size(); ++i) {
    const auto number = static_cast<std::int64_t>(i + 1);
    const std::u16string_view line = plat::Trim(lines.lines[i]);
    if (!line.empty() && line.front() == u'[') {
      const std::size_t close = line.find(u']');
      section = LowerAscii(
          plat::Trim(line.substr(1, close == std::u16string_view::npos ? line.size() : close - 1)));
      firstOfName = sectionLine.emplace(section, number).second;
      continue;
    }
    const plat::KeyValue pair = plat::SplitKeyValue(line);
    if ((section != u"common" && section != u"orbeck") || !pair.value) continue;
    IniLine entry{number, section, sectionLine[section], firstOfName};
    entry.key = plat::Trim(pair.key);
    entry.value = plat::Trim(*pair.value);
    if (entry.value.size() >= 2 && (entry.value.front() == u'"' || entry.value.front() == u'\'') &&
        entry.value.back() == entry.value.front()) {
      entry.value = entry.value.substr(1, entry.value.size() - 2);
    }
    for (const SettingsKey& r : SettingsKeys()) {
      if (!EqualsIgnoreCase(r.section, section)) continue;
      entry.sectionKeys.push_back(r.key);
      if (EqualsIgnoreCase(r.key, entry.key)) entry.rule = &r;
    }
    out.push_back(std::move(entry));
  }
  return out;
}

struct IniLint {
  const std::u16string& path;
  std::vector<Finding>& out;
  std::map<std::u16string, std::int64_t> keyLine;  // "section\nkey" lower case -> first line
  void Add(const IniLine& line, Severity severity, const char* kind, std::string message,
           std::string effect) {
    out.push_back({severity, path, line.number, kind, std::move(message), std::move(effect)});
  }
  // What the launcher makes of a key, by its own integer read: base prefixes,
  // the wrap at 32 bits and the default for an empty value are not what the
  // text suggests.
  int LauncherReads(const SettingsKey& rule) const {
    return plat::ReadProfileInt(std::u16string(rule.section), std::u16string(rule.key), rule.def,
                                path);
  }
};

// Each rule reports what it finds; true when the launcher does not use the
// line, so that the rules after it have nothing to say.
using IniRule = bool (*)(const IniLine& line, IniLint& lint);

bool UnknownIniKey(const IniLine& line, IniLint& lint) {
  if (line.rule != nullptr) return false;
  // [Common] is shared by the whole suite: only near misses are reported.
  std::size_t distance = 0;
  const std::u16string_view nearest = NearestKey(line.key, line.sectionKeys, distance);
  if (distance <= 2) {
    lint.Add(line, Severity::Warning, "unknown-key",
             "unknown key " + Quote(line.key) + " (nearest known: " + Quote(nearest) + ")",
             "the launcher does not read it and uses the default of " + Quote(nearest));
  }
  return true;
}

bool RepeatedSection(const IniLine& line, IniLint& lint) {
  if (line.firstOfName) return false;
  lint.Add(line, Severity::Warning, "repeated-section",
           "section [" + plat::ToUtf8(line.rule->section) + "] already began on line " +
               std::to_string(line.sectionLine),
           "the launcher reads only the first section of a name: this line is unused");
  return true;
}

bool RepeatedIniKey(const IniLine& line, IniLint& lint) {
  const auto [it, fresh] =
      lint.keyLine.emplace(line.section + u"\n" + LowerAscii(line.key), line.number);
  if (fresh) return false;
  lint.Add(line, Severity::Warning, "repeated-key",
           "key " + Quote(line.key) + " already set on line " + std::to_string(it->second),
           "the launcher takes the first line");
  return true;
}

bool IniValue(const IniLine& line, IniLint& lint) {
  const SettingsKey& rule = *line.rule;
  const std::u16string_view value = line.value;
  if (rule.kind == SettingsKey::Path && value.size() > kLongestLogsetupValue) {
    lint.Add(line, Severity::Error, "too-long",
             "Logsetup value has " + std::to_string(value.size()) +
                 " characters; at most 263 are allowed",
             "the launcher rejects it and uses the default log settings file");
  } else if (rule.kind == SettingsKey::Flag && value != u"0" && value != u"1") {
    const int read = lint.LauncherReads(rule);
    lint.Add(line, Severity::Warning, "flag-value", "flag " + Quote(value) + " is neither 0 nor 1",
             ReadsText(read, value) + (read == 1 ? ": on" : ": off (only 1 is on)"));
  } else if (rule.kind == SettingsKey::Integer && !PlainDecimal(value)) {
    const bool digits = HasDigitsAtStart(value);
    lint.Add(
        line, Severity::Warning, digits ? "not-a-number" : "no-digits",
        "value " + Quote(value) + (digits ? " is not a plain decimal number" : " has no digits"),
        ReadsText(lint.LauncherReads(rule), value));
  } else if (rule.kind == SettingsKey::Integer && lint.LauncherReads(rule) != DecimalValue(value)) {
    lint.Add(line, Severity::Warning, "number-range",
             "value " + Quote(value) + " does not fit in 32 bits",
             ReadsText(lint.LauncherReads(rule), value));
  }
  return false;
}

constexpr IniRule kIniRules[] = {UnknownIniKey, RepeatedSection, RepeatedIniKey, IniValue};

}  // namespace

std::vector<Finding> LintSettingsFile(const std::u16string& path) {
  std::vector<Finding> out;
  std::string bytes;
  if (!ReadHead(path, kLongestIniBytes, bytes)) return out;  // absent: every key has its default
  const std::u16string text = plat::DecodeProfileText(bytes);
  IniLint lint{path, out, {}};
  for (const IniLine& line : SplitIni(text)) {
    for (const IniRule rule : kIniRules) {
      if (rule(line, lint)) break;
    }
  }
  return out;
}

void SummariseRepeats(std::vector<Finding>& findings, std::size_t keep) {
  struct Seen {
    std::size_t count = 0;
    std::size_t summary = 0;  // index in out
    std::int64_t lastLine = 0;
  };
  std::map<std::tuple<std::u16string, std::string, Severity>, Seen> seen;
  std::vector<Finding> out;
  for (Finding& f : findings) {
    Seen& s = seen[{f.file, f.kind, f.severity}];
    if (++s.count <= keep) {
      out.push_back(std::move(f));
    } else if (s.count == keep + 1) {
      s.summary = out.size();
      s.lastLine = f.line;
      out.push_back(std::move(f));
    } else {
      out[s.summary].count += f.count;
      s.lastLine = f.line;
    }
  }
  for (const auto& [key, s] : seen) {
    Finding& f = out[s.summary];
    if (s.count <= keep || f.count == 1) continue;
    f.message =
        std::to_string(f.count) + " more findings \"" + f.kind + "\" like the ones above" +
        (f.line > 0 ? ", lines " + std::to_string(f.line) + " to " + std::to_string(s.lastLine)
                    : std::string()) +
        "; the first of them: " + f.message;
  }
  findings = std::move(out);
}

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::Info:
      return "info";
    case Severity::Warning:
      return "warning";
    case Severity::Error:
      return "error";
  }
  return "";
}
