#include "engine/error_reporter.h"

#include <array>
#include <cstdio>

#include "install/install.h"

namespace {

constexpr std::size_t kLabelCapacity = 512;
constexpr std::size_t kFormatCapacity = 512;
constexpr std::size_t kMessageCapacity = 512;
constexpr std::size_t kBoxCapacity = 1024;  // the narrow formatting routine's limit

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

void ConfigureDisplay(ErrorContext& context) {
  if (ReadCommonFlag(u"FromExec")) {
    context.displayMode = 1;
    return;
  }
  context.displayMode = ReadSettingInt(u"Orbeck", u"ErrorDisp", 2) == 2 ? 2 : 1;
}

std::int32_t ReportError(void* owner, ErrorContext& context, std::uint32_t messageId,
                         std::uint32_t detail) {
  const auto value = static_cast<std::int32_t>(10000 - static_cast<std::int64_t>(messageId));
  const plat::ModuleHandle self = plat::OwnModule();
  std::array<std::string, 10> labels;
  for (unsigned k = 0; k < labels.size(); ++k) {
    labels[k] = plat::LoadNarrowString(self, kFirstLabelId + k, kLabelCapacity);
  }

  const auto n = static_cast<std::int32_t>(static_cast<std::int64_t>(messageId) - 10000);
  const std::int32_t messageClass = n / 1000;
  if (context.displayMode == 2) return value;

  // The message texts hold no conversions and the launcher passes no further
  // arguments, so the body is the text as it stands.
  std::string body = plat::LoadNarrowString(context.module, messageId, kMessageCapacity);

  std::string boxText;
  unsigned flags = kFlagsInformation;
  if (messageClass == 1 || messageClass == 2) {
    const unsigned base = messageClass == 1 ? 11000 : 12000;
    const unsigned k = (messageId - base) / 100;
    const unsigned formatId = messageClass == 1 ? kWarningFormatId : kErrorFormatId;
    flags = messageClass == 1 ? kFlagsWarning : kFlagsError;
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
