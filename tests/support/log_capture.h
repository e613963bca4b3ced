#pragma once
// Reads what the code under test writes to the process-wide log. The first
// capture sends the log to a file of this test process (the logger keeps its
// first file for the life of the process); each capture sees only the lines
// written after it was made.

#include <string>

namespace qlm::testing {

class log_capture {
public:
    log_capture();

    /// The log text (UTF-8) written since this capture was made.
    std::string text() const;

private:
    std::size_t start_ = 0;
};

}  // namespace qlm::testing
