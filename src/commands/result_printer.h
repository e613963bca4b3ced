#pragma once
// Prints the rows of every metadata command, read or write, as text or as one
// JSON object, and decides the exit code.

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"
#include "commands/file_state.h"

#include <string>
#include <vector>

namespace qlm::metadata_commands {

/// The text that print_results writes to standard output (error rows go to
/// standard error separately), or the JSON document when parsed.json is set.
/// Exposed for tests; cancelled is the state of the cancellation flag.
std::wstring format_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                            const std::vector<target_result>& results, field_mask mask, bool cancelled);

/// Prints the rows: error rows at once on standard error (text form), the
/// rest gathered on standard output. Returns 1 when a row failed or the run
/// was cancelled, else 0.
int print_results(const catalog::command_spec& spec, const parsed_arguments& parsed,
                  const std::vector<target_result>& results, field_mask mask);

}  // namespace qlm::metadata_commands
