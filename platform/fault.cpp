#include "platform/fault.h"

#include <array>
#include <utility>
#include <vector>

namespace plat {
namespace {

struct FaultState {
  std::vector<FaultRule> rules;
  std::array<int, 9> calls{};
  // Only failed calls are kept: without rules nothing is.
  std::vector<std::pair<FaultOp, std::u16string>> hits;
  std::optional<WallClock> clock;
  std::array<std::function<void(const std::u16string&)>, 3> pauses;
};

FaultState& State() {
  static FaultState state;
  return state;
}

}  // namespace

void InjectFault(const FaultRule& rule) {
  State().rules.push_back(rule);
}

void ClearFaults() {
  State().rules.clear();
  State().calls.fill(0);
  State().hits.clear();
  State().pauses.fill(nullptr);
}

void SetPause(PausePoint point, std::function<void(const std::u16string& path)> action) {
  State().pauses[static_cast<std::size_t>(point)] = std::move(action);
}

void Pause(PausePoint point, const std::u16string& path) {
  // Taken out before it runs: the action may pass through its own point.
  std::function<void(const std::u16string&)> action;
  std::swap(action, State().pauses[static_cast<std::size_t>(point)]);
  if (action) action(path);
}

bool FaultHit(FaultOp op, const std::u16string& path, OpenStatus* status, std::size_t* shortWrite) {
  FaultState& state = State();
  ++state.calls[static_cast<std::size_t>(op)];
  for (FaultRule& rule : state.rules) {
    if (rule.op != op || rule.count == 0) continue;
    if (!rule.pathContains.empty() && path.find(rule.pathContains) == std::u16string::npos) {
      continue;
    }
    if (rule.skip > 0) {
      --rule.skip;
      continue;
    }
    if (rule.count > 0) --rule.count;
    if (status != nullptr) *status = rule.openStatus;
    if (shortWrite != nullptr) *shortWrite = rule.shortWrite;
    state.hits.emplace_back(op, path);
    return true;
  }
  return false;
}

int FaultCalls(FaultOp op) {
  return State().calls[static_cast<std::size_t>(op)];
}

int FaultHits(FaultOp op, const std::u16string& pathContains) {
  int hits = 0;
  for (const auto& [hitOp, path] : State().hits) {
    if (hitOp == op && path.find(pathContains) != std::u16string::npos) ++hits;
  }
  return hits;
}

void SetClockOverride(std::optional<WallClock> clock) {
  State().clock = clock;
}
std::optional<WallClock> ClockOverride() {
  return State().clock;
}

}  // namespace plat
