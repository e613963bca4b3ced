#pragma once
// tag add, tag remove, tag set and tag clear: each becomes one change request
// for the write runner, made of the normalised tag names.

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"
#include "cli/target_expansion.h"
#include "commands/write_runner.h"

#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// The --tag values trimmed of blanks and tabs, with later duplicates under
/// case-insensitive ordinal comparison dropped (the first spelling stays).
/// False with the usage message for an empty name or one holding ";".
bool normalize_tag_names(const std::vector<std::wstring>& values, std::vector<std::wstring>& names,
                         std::wstring& message);

/// The request of a tag subcommand ("add", "remove", "set"; any other word
/// clears) over normalised names.
change_request make_tag_request(const std::wstring& subcommand, const std::vector<std::wstring>& names);

/// Runs a tag write subcommand over the targets and prints the rows. Returns
/// the exit code: 0, 1, or 2 for an unusable tag name.
int run_tag_change(const catalog::command_spec& spec, const parsed_arguments& parsed,
                   const std::vector<target_entry>& targets);

}  // namespace qlm::metadata_commands
