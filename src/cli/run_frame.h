#pragma once
// The run frame: prepares the process, parses and routes the command line,
// turns every outcome into one exit code and writes the closing log line.

#include "cli/cancellation.h"
#include "cli/command_catalog.h"
#include "cli/parsed_arguments.h"

#include <functional>
#include <string>
#include <vector>

namespace qlm {

/// Runs one catalogued command whose options the frame has checked; returns
/// the exit code. run_command (run_command.h) in the engine.
using command_runner = std::function<int(const catalog::command_spec&, const parsed_arguments&)>;

/// Runs qlm with the given arguments (element 0, the program, is ignored)
/// and returns the process exit code. The frame answers --version, help and
/// the usage errors of the command line itself; `runner` runs the rest.
int run(const std::vector<std::wstring>& arguments, const command_runner& runner);

/// The catalogued command that run() hands to its runner for this command
/// line, or nullptr when the frame answers it alone. Reads nothing but the
/// command line, so a front can decide before it loads the engine.
const catalog::command_spec* routed_command(const parsed_arguments& parsed);

}  // namespace qlm
