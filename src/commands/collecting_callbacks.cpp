#include "commands/collecting_callbacks.h"

#include "cli/cancellation.h"

namespace qlm::metadata_commands {

bool collecting_callbacks::is_cancelled() { return cancel_requested.load(); }

bool collecting_callbacks::report_error(const std::wstring& path, const std::wstring& message) {
    if (path.empty()) {
        general_error = message;
    } else {
        errors_by_path[path] = message;
    }
    return false;
}

void collecting_callbacks::report_unknown_action() {
    general_error = L"The Batch Processor did not recognize the action.";
}

}  // namespace qlm::metadata_commands
