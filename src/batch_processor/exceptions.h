#pragma once
// The runtime errors that the batch handlers raise with a message of their
// own. Both carry UTF-8 text in what(), as every standard exception here does.

#include <stdexcept>
#include <string>

namespace exceptions {

/// A runtime error built from a narrow (UTF-8) or a wide message; what()
/// gives the UTF-8 text.
class formatted_runtime_error : public std::runtime_error {
public:
    explicit formatted_runtime_error(const std::string& message);
    explicit formatted_runtime_error(const std::wstring& message);
};

}  // namespace exceptions

namespace sortwell::batch_processor {

/// A failure of the auto-tagger for one file. The worker reports it with
/// report_auto_tag_failure instead of report_error. Built from a wide
/// message it also keeps that text; built from a narrow one the wide copy
/// stays empty.
class autotagger_exception : public std::runtime_error {
public:
    explicit autotagger_exception(const std::string& message);
    explicit autotagger_exception(const std::wstring& message);

    /// The wide message, or empty when the error was built from a narrow one.
    const std::wstring& wide_message() const noexcept { return wide_message_; }

private:
    std::wstring wide_message_;
};

}  // namespace sortwell::batch_processor
