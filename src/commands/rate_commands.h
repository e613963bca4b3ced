#pragma once
// rate set and rate clear: one change request for the write runner.

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"
#include "cli/target_expansion.h"
#include "commands/write_runner.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// The stars of a --stars value: exactly one character, a digit 0 to 5.
/// Anything else ("05", "3.0", "+3", " 3", "", "６") gives nullopt.
std::optional<std::uint32_t> parse_stars(const std::wstring& value);

/// set_rating with the digit for 1 to 5 stars, remove_rating for 0.
change_request make_rating_request(std::uint32_t stars);

/// Runs rate set (stars from --stars) or rate clear over the targets and
/// prints the rows. Returns the exit code: 0, 1, or 2 for unusable stars.
int run_rate_change(const catalog::command_spec& spec, const parsed_arguments& parsed,
                    const std::vector<target_entry>& targets);

}  // namespace qlm::metadata_commands
