// What a rotation of a component's log would do now, as vtlog shows it: the
// rotation's own plan, rendered as text lines or one JSON object.
#pragma once

#include <string>

#include "execlog/log_settings.h"
#include "execlog/rotation.h"

std::string RotationPlanText(const RotationPlan& plan, const LogSettings& settings);
std::string RotationPlanJson(const RotationPlan& plan, const LogSettings& settings);
