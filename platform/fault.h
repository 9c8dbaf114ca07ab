// Fault injection at the platform seam. Tests make a chosen operation fail
// without a real disk doing it; platform.cpp consults FaultHit before it calls
// either backend.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Pause points: places inside a service where a test acts as another process
// could at that moment (a writer appending just before a delete, a rotation
// moving a file between an open and its lock, a slow disk before a write).
// An action runs once, at the next pass through its point, with the path at
// hand (it may set itself again); ClearFaults drops any left. Pause points
// make nothing fail.
enum class PausePoint { BeforeRemove, OpenedBeforeLock, BeforeWrite };
void SetPause(PausePoint point, std::function<void(const std::u16string& path)> action);
void Pause(PausePoint point, const std::u16string& path);

// A fixed clock for tests; nullopt returns to the real one.
void SetClockOverride(std::optional<WallClock> clock);
std::optional<WallClock> ClockOverride();

}  // namespace plat
