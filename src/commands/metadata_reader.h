#pragma once
// The read path of the metadata commands: one target's state, and every
// target of a read command.

#include "cli/target_expansion.h"
#include "commands/file_state.h"

#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// Reads the fields of the mask. True with `state` filled, or false with
/// `result` set to a cloud_only or read_failed error; never throws.
bool read_file_state(const std::wstring& path, field_mask mask, file_state& state, target_result& result);

/// One row per target in target order: failed targets keep their error,
/// the others are read. Every target is read, even after Ctrl+C.
std::vector<target_result> read_targets(const std::vector<target_entry>& targets, field_mask mask);

}  // namespace qlm::metadata_commands
