#include "platform/fault.h"

#include <array>
#include <vector>

namespace plat {
namespace {

struct FaultState {
  std::vector<FaultRule> rules;
  std::array<int, 9> calls{};
  std::optional<WallClock> clock;
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
}

bool FaultHit(FaultOp op, const std::u16string& path, OpenStatus* status) {
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
    return true;
  }
  return false;
}

int FaultCalls(FaultOp op) {
  return State().calls[static_cast<std::size_t>(op)];
}

void SetClockOverride(std::optional<WallClock> clock) {
  State().clock = clock;
}
std::optional<WallClock> ClockOverride() {
  return State().clock;
}

}  // namespace plat
