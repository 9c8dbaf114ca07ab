#include "engine/error_reporter.h"

#include <array>
#include <cstdio>

#include "execlog/codes.h"
#include "install/install.h"

namespace {

constexpr std::size_t kLabelCapacity = 512;
constexpr std::size_t kFormatCapacity = 512;
constexpr std::size_t kMessageCapacity = 512;
constexpr std::size_t kBoxCapacity = 1024;  // the narrow formatting routine's limit

// A message id is kMessageIdBase plus the absolute value of the result it
// reports; its thousands give its class, and within a class its hundreds the
// label shown.
constexpr std::int32_t kWarningClass = 1;
constexpr std::int32_t kErrorClass = 2;

constexpr unsigned kFirstLabelId = 1006;
constexpr unsigned kWarningFormatId = 1018;
constexpr unsigned kErrorFormatId = 1019;
constexpr unsigned kInformationFormatId = 1020;

constexpr unsigned kFlagsError = 0x10;        // OK button, stop icon
constexpr unsigned kFlagsWarning = 0x30;      // OK button, exclamation icon
constexpr unsigned kFlagsInformation = 0x40;  // OK button, information icon

// Fills a narrow format from the string table; the formats are the
// executable's own and hold only %s and %d conversions.
template <typename... Args>
std::string FormatBox(const std::string& format, Args... args) {
  std::array<char, kBoxCapacity> buffer{};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  std::snprintf(buffer.data(), buffer.size(), format.c_str(), args...);
#pragma GCC diagnostic pop
  return buffer.data();
}

}  // namespace

ErrorContextPtr CreateErrorContext(plat::ModuleHandle module, const std::string& caption) {
  auto context = std::make_unique<ErrorContext>();
  context->module = module;
  context->caption = caption;
  return context;
}

int ReadErrorDisp() {
  return ReadSettingInt(u"Orbeck", u"ErrorDisp", kErrorDispSilent);
}

ReportCauses ReadReportCauses() {
  ReportCauses causes;
  causes.fromExec = ReadCommonFlag(u"FromExec");
  causes.errorDispValue = ReadErrorDisp();
  causes.errorDisp = causes.errorDispValue != kErrorDispSilent;
  return causes;
}

bool ReportsShown() {
  const ReportCauses causes = ReadReportCauses();
  return causes.fromExec || causes.errorDisp;
}

void ConfigureDisplay(ErrorContext& context) {
  context.displayMode = ReportsShown() ? 1 : 2;
}

std::int32_t ReportError(void* owner, ErrorContext& context, std::uint32_t messageId,
                         std::uint32_t detail) {
  const auto value = static_cast<std::int32_t>(kMessageIdBase - std::int64_t{messageId});
  const plat::ModuleHandle self = plat::OwnModule();
  std::array<std::string, 10> labels;
  for (unsigned k = 0; k < labels.size(); ++k) {
    labels[k] = plat::LoadNarrowString(self, kFirstLabelId + k, kLabelCapacity);
  }

  const auto n = static_cast<std::int32_t>(std::int64_t{messageId} - kMessageIdBase);
  const std::int32_t messageClass = n / 1000;
  if (context.displayMode == 2) return value;

  // The message texts hold no conversions and the launcher passes no further
  // arguments, so the body is the text as it stands.
  std::string body = plat::LoadNarrowString(context.module, messageId, kMessageCapacity);

  std::string boxText;
  unsigned flags = kFlagsInformation;
  if (messageClass == kWarningClass || messageClass == kErrorClass) {
    const bool warning = messageClass == kWarningClass;
    const auto k = static_cast<unsigned>(n - messageClass * 1000) / 100;
    const unsigned formatId = warning ? kWarningFormatId : kErrorFormatId;
    flags = warning ? kFlagsWarning : kFlagsError;
    const std::string format = plat::LoadNarrowString(self, formatId, kFormatCapacity);
    boxText = FormatBox(format, "HS", static_cast<int>(detail), static_cast<int>(k),
                        static_cast<int>(n), labels[k].c_str(), body.c_str());
  } else {
    const std::string format = plat::LoadNarrowString(self, kInformationFormatId, kFormatCapacity);
    boxText = FormatBox(format, body.c_str());
  }
  plat::ShowMessageBox(owner, boxText, context.caption, flags);
  return value;
}

ErrorContextPtr FreeErrorContext(ErrorContextPtr context) {
  return nullptr;
}
