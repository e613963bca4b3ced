#pragma once
// The suite's own runtime error: a message that may start out wide or narrow
// and is always kept as UTF-8, so that what() can be logged and reported.

#include "platform/text.h"

#include <stdexcept>
#include <string>

namespace exceptions {

class formatted_runtime_error : public std::runtime_error {
public:
    /// Keeps the UTF-8 message as it is.
    explicit formatted_runtime_error(const std::string& message) : std::runtime_error(message) {}
    explicit formatted_runtime_error(const char* message) : std::runtime_error(message) {}

    /// Keeps the UTF-8 form of the wide message.
    explicit formatted_runtime_error(const std::wstring& message)
        : std::runtime_error(platform::text::to_utf8(message)) {}
};

}  // namespace exceptions
