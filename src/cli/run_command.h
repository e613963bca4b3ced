#pragma once

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"

namespace qlm {

/// Settles the comment text, collects and expands the targets, and hands
/// over to the command's runner; the run frame has already checked the
/// options against the command (option_checks.h). Returns the exit code;
/// usage problems found here are reported here.
int run_command(const catalog::command_spec& spec, const parsed_arguments& parsed);

}  // namespace qlm
