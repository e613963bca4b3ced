#pragma once
// The failure of a write that found its file changed by another program
// between its read and its replace: nothing was written, and the writer may
// start again from a fresh read.

#include <stdexcept>

namespace qlm::metadata {

/// The words a target fails with when it kept changing under every attempt.
inline constexpr char file_changed_message[] = "The file was changed by another program during the write.";

class file_changed_error : public std::runtime_error {
public:
    file_changed_error() : std::runtime_error(file_changed_message) {}
};

}  // namespace qlm::metadata
