#pragma once

#include <atomic>

namespace qlm {

/// Set once by Ctrl+C or Ctrl+Break; never reset during a run. Write loops
/// test it between targets; the result printer reports it.
extern std::atomic<bool> cancel_requested;

}  // namespace qlm
