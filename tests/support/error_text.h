#pragma once
// The message of the runtime error an action throws, for tests that check
// the fixed texts.

#include <functional>
#include <stdexcept>
#include <string>

namespace qlm::testing {

/// The what() of the std::runtime_error the action threw, or "(no error)".
inline std::string error_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(no error)";
}

}  // namespace qlm::testing
