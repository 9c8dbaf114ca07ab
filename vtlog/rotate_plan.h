// What a rotation of a component's log would do now, worked out with the
// rotation's own decision, naming and listing, and without touching a file.
#pragma once

#include <string>
#include <vector>

#include "execlog/log_settings.h"

struct RotationPlan {
  bool rotate = false;
  std::string reason;  // why, or why not
  std::u16string logPath;
  std::u16string newName;              // rotated name of the log
  std::u16string displacedName;        // a file already named newName ...
  std::u16string displacedTo;          // ... moves here first
  std::string moveNote;                // what could stop the move
  std::vector<std::u16string> pruned;  // files that pruning would delete
  bool lockPresent = false;            // "rotation.lock" exists in the output directory
};

// Reads only: the same listing, decision and names as the rotation.
RotationPlan PlanRotation(const LogSettings& settings);
