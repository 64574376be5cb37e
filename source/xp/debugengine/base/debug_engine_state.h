#pragma once
// Shared state of the debug log, one per process. Nothing writes to the log
// yet; the state only has to exist, shared, so that every module agrees on it.

#include <cstdint>

#include "source/xp/spin_lock.h"

namespace xp {

struct DebugEngineState {
  SpinLock lock;
  std::uint32_t word = 0;
  std::uint32_t record[3] = {0, 0, 0};

  // The process-wide state (created when the module loads).
  static DebugEngineState& Instance();
};
static_assert(sizeof(DebugEngineState) == 28);

}  // namespace xp
