#pragma once
// The run frame: prepares the process, parses and routes the command line,
// turns every outcome into one exit code and writes the closing log line.

#include <atomic>
#include <string>
#include <vector>

namespace qlm {

/// Set once by Ctrl+C or Ctrl+Break; never reset during a run. Write loops
/// test it between targets; the result printer reports it.
extern std::atomic<bool> cancel_requested;

/// Runs qlm with the given arguments (element 0, the program, is ignored)
/// and returns the process exit code.
int run(const std::vector<std::wstring>& arguments);

}  // namespace qlm
