#pragma once
// The auto-tagger's own runtime error; the suite's general one is
// exceptions::formatted_runtime_error. Both carry UTF-8 text in what().

#include "common/exceptions.h"

#include <stdexcept>
#include <string>

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
