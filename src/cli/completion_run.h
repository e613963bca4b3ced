#pragma once
// A shell's tab completion asks `qlm tag list` with QLM_COMPLETING set in the
// environment. Pressing Tab must change nothing on disk: such a run opens no
// log and creates or seeds no settings folder.

#include <cstdlib>

namespace qlm {

inline bool run_for_completion() { return std::getenv("QLM_COMPLETING") != nullptr; }

}  // namespace qlm
