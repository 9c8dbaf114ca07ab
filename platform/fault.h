// Fault injection at the platform seam. Tests make a chosen operation fail
// without a real disk doing it; platform.cpp consults FaultHit before it calls
// either backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/platform.h"

namespace plat {

enum class FaultOp { Open, Write, Read, Move, Remove, List, MakeDir, Status, Alloc };

struct FaultRule {
  FaultOp op = FaultOp::Open;
  int skip = 0;                 // matching calls let through before the first failure
  int count = 1;                // failures to inject; -1 for every later call
  std::u16string pathContains;  // only paths holding this text; empty matches all
  OpenStatus openStatus = OpenStatus::AccessDenied;  // what a failed open reports
  // A failed write first writes this many of its bytes, as a full volume does.
  std::size_t shortWrite = 0;
};

void InjectFault(const FaultRule& rule);
void ClearFaults();
// True when the call must fail; for opens, status receives the outcome to report,
// for writes, shortWrite the bytes to write before failing.
bool FaultHit(FaultOp op, const std::u16string& path, OpenStatus* status = nullptr,
              std::size_t* shortWrite = nullptr);
// Number of calls of an operation seen since the last ClearFaults.
int FaultCalls(FaultOp op);
// Number of calls of an operation on paths holding pathContains that a rule
// made fail since the last ClearFaults.
int FaultHits(FaultOp op, const std::u16string& pathContains);

// A fixed clock for tests; nullopt returns to the real one.
void SetClockOverride(std::optional<WallClock> clock);
std::optional<WallClock> ClockOverride();

}  // namespace plat
