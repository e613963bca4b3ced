#pragma once
// The worker's dispatch: one handler per action value. A handler receives the
// host's callbacks, the current path and the job's parameter text, uses what
// its action needs, and reports failure only by raising. An empty entry means
// the action has no handler and each file is reported as unexpected.

#include "batch_processor/action_type.h"
#include "batch_processor/batch_processor_callbacks.h"

#include <array>
#include <functional>
#include <string>

namespace sortwell::batch_processor {

using action_handler =
    std::function<void(batch_processor_callbacks& callbacks, const std::wstring& path, const std::wstring& parameters)>;

/// Indexed by the action value.
using action_table = std::array<action_handler, action_count>;

/// The handlers of this build. Values 6 to 16 and 27 have none. Handlers
/// whose action is not part of this build raise a runtime error saying so,
/// which the worker reports for each file.
action_table default_action_table();

/// The table entry of one action.
inline action_handler& handler_for(action_table& table, action_type action) {
    return table[static_cast<std::size_t>(action)];
}
inline const action_handler& handler_for(const action_table& table, action_type action) {
    return table[static_cast<std::size_t>(action)];
}

}  // namespace sortwell::batch_processor
