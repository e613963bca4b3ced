#pragma once

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"

namespace qlm {

/// Checks the options against the command, settles the comment text,
/// collects and expands the targets, and hands over to the command's
/// runner. Returns the exit code; usage problems are reported here.
int run_command(const catalog::command_spec& spec, const parsed_arguments& parsed);

}  // namespace qlm
