#pragma once
// comment set and comment clear: each target's comment is loaded, compared,
// saved, confirmed by reading it back, and the shell told, one at a time.

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"
#include "cli/target_expansion.h"
#include "commands/file_state.h"

#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// Fills one row for the path. May throw what saving throws.
void write_target_comment(const std::wstring& path, const std::wstring& text, bool dry_run, target_result& row);

/// Runs the change over the targets, stopping after the current target on
/// Ctrl+C, and prints the rows. Returns the exit code.
int run_comment_change(const catalog::command_spec& spec, const parsed_arguments& parsed, const std::wstring& text,
                       const std::vector<target_entry>& targets);

}  // namespace qlm::metadata_commands
