#pragma once
// The option checks of a catalogued command: options it does not take, then
// required options that are missing. They read nothing but the command line,
// so the run frame makes them before any command runs.

#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"

#include <string>

namespace qlm {

/// The usage message of the first option problem of the command line for
/// this command, or empty when the options fit it.
std::wstring option_problem(const catalog::command_spec& spec, const parsed_arguments& parsed);

}  // namespace qlm
