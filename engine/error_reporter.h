// The reporter of the launcher's own errors: string-table texts in message
// boxes, shown or suppressed as the settings say.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/platform.h"

struct ErrorContext {
  plat::ModuleHandle module = nullptr;
  std::int32_t displayMode = 0;  // 1 show, 2 silent; set by ConfigureDisplay
  std::string caption;           // narrow, owned
};
using ErrorContextPtr = std::unique_ptr<ErrorContext>;

// [Orbeck] ErrorDisp: this value (its default) keeps the launcher's own
// reports silent, any other shows them.
inline constexpr int kErrorDispSilent = 2;
int ReadErrorDisp();
// What shows the launcher's own reports: [Common] FromExec is 1, or ErrorDisp
// is not kErrorDispSilent. Neither: they stay silent.
struct ReportCauses {
  bool fromExec = false;
  bool errorDisp = false;
  int errorDispValue = kErrorDispSilent;
};
ReportCauses ReadReportCauses();
// Whether the launcher's own reports are shown: any of ReportCauses holds.
bool ReportsShown();

ErrorContextPtr CreateErrorContext(plat::ModuleHandle module, const std::string& caption);
void ConfigureDisplay(ErrorContext& context);
// kMessageIdBase - messageId, whether shown or not. The message text is used as it
// stands (the launcher passes no further arguments).
std::int32_t ReportError(void* owner, ErrorContext& context, std::uint32_t messageId,
                         std::uint32_t detail);
// Releases the context; returns null so that the caller clears its pointer.
ErrorContextPtr FreeErrorContext(ErrorContextPtr context);
