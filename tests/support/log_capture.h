#pragma once
// Reads what the process-wide logger wrote during one test. The logger is
// opened once per test process on a file in the temporary folder.

#include <string>
#include <vector>

namespace qlm::testing {

class log_capture {
public:
    /// Opens the shared log file on first use and marks its current end.
    log_capture();

    /// The log text (UTF-8) written since construction.
    std::string text() const;

    /// The log lines written since construction, without their line feeds.
    std::vector<std::string> lines() const;

    /// The messages of those lines: each line without its time, id and level prefix,
    /// as "LEVEL message" (e.g. "INFO Copied default settings from …").
    std::vector<std::string> messages() const;

private:
    std::size_t start_ = 0;
};

}  // namespace qlm::testing
