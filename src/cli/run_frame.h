#pragma once
// The run frame: prepares the process, parses and routes the command line,
// turns every outcome into one exit code and writes the closing log line.

#include "cli/cancellation.h"

#include <string>
#include <vector>

namespace qlm {

/// Runs qlm with the given arguments (element 0, the program, is ignored)
/// and returns the process exit code.
int run(const std::vector<std::wstring>& arguments);

}  // namespace qlm
