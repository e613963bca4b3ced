#pragma once
// The read path of the metadata commands: one target's state, and every
// target of a read command.

#include "cli/target_expansion.h"
#include "commands/file_state.h"

#include <functional>
#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// Reads the fields of the mask. True with `state` filled, or false with
/// `result` set to a cloud_only or read_failed error; never throws.
bool read_file_state(const std::wstring& path, field_mask mask, file_state& state, target_result& result);

/// One row per target, handed to `on_row` on the calling thread in target
/// order as soon as it and every row before it are ready: failed targets
/// keep their error, the others are read (side by side on a few reader
/// threads). Every target is read, even after Ctrl+C.
void read_targets(const std::vector<target_entry>& targets, field_mask mask,
                  const std::function<void(target_result&&)>& on_row);

}  // namespace qlm::metadata_commands
