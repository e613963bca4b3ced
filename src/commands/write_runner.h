#pragma once
// The write path of the tag and rating commands: decide per target whether a
// write is needed, write all that need it in one batch run, and read every
// written target back before calling it changed.

#include "batch_processor/action_type.h"
#include "cli/target_expansion.h"
#include "commands/file_state.h"

#include <functional>
#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// One change, described to the runner without it knowing tags or ratings.
struct change_request {
    /// True when a state already holds the wanted value; decides both the
    /// pre-check and the verdict after the write.
    std::function<bool(const file_state&)> already_applied;
    /// The state after the change, from the state before (dry runs).
    std::function<file_state(const file_state&)> expected_state;
    sortwell::batch_processor::action_type action = sortwell::batch_processor::action_type::unknown;
    std::wstring action_parameters;
    /// The message for targets whose type cannot hold the field.
    std::wstring unsupported_message;
};

/// One row per target, in target order. `mask` is field_tags or
/// field_rating and also picks the capability test. A dry run never starts
/// the batch processor. Never raises for a target's problem.
std::vector<target_result> run_metadata_change(const std::vector<target_entry>& targets, field_mask mask,
                                               const change_request& request, bool dry_run);

}  // namespace qlm::metadata_commands
