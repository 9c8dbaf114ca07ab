// What a rotation of a component's log would do now, as vtlog shows it: the
// rotation's own plan, rendered as text lines or one JSON object, with what
// keeps it from happening.
#pragma once

#include <string>

#include "execlog/log_settings.h"
#include "execlog/rotation.h"
#include "vtlog/lint.h"

// The plan, then what stops it (the findings that "vtlog check" reports too).
std::string RotationPlanText(const RotationPlan& plan, const LogSettings& settings,
                             const std::vector<Finding>& findings);
std::string RotationPlanJson(const RotationPlan& plan, const LogSettings& settings,
                             const std::vector<Finding>& findings);
