#pragma once
// sortwell-batch JOBFILE [--delete]: runs one job file through the batch
// worker and prints its reports. Exit 0 when every file succeeded, 1 when
// one did not (or the run was cancelled), 2 for a command line or job file
// that cannot be used.

#include <string>
#include <vector>

namespace sortwell::batch_host {

/// Runs the host with the program's arguments (element 0 is the program)
/// and returns the exit code.
int run(const std::vector<std::wstring>& arguments);

}  // namespace sortwell::batch_host
