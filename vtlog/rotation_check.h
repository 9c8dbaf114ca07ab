// What keeps the rotations to come from happening: the findings that
// "vtlog check" and "vtlog rotate --dry-run" share.
#pragma once

#include "execlog/log_settings.h"
#include "execlog/rotation.h"
#include "vtlog/check.h"

// A rotated name that points into a directory of its own, a rotation
// directory whose names are all taken or that pruning never thins out, and a
// rotation directory on another volume without room for the log's copy.
void CheckRotation(CheckReport& report, const LogSettings& settings);
// The same, and what stops the move the plan makes now.
CheckReport RotationPlanFindings(const RotationPlan& plan, const LogSettings& settings);
