// Linux notices: standard error, recorded for the tests.

#include "platform/message_dialog.h"

#include "platform/text.h"

#include <mutex>

#include <unistd.h>

namespace platform::message_dialog {
namespace {

std::mutex shown_mutex;
std::vector<std::wstring> shown;

}  // namespace

void show(const std::wstring& caption, const std::wstring& text) {
    {
        const std::lock_guard lock(shown_mutex);
        shown.push_back(text);
    }
    const std::string line = platform::text::to_utf8(caption + L": " + text) + "\n";
    for (std::size_t done = 0; done < line.size();) {
        const ssize_t n = ::write(STDERR_FILENO, line.data() + done, line.size() - done);
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
}

std::vector<std::wstring> shown_texts() {
    const std::lock_guard lock(shown_mutex);
    return shown;
}

}  // namespace platform::message_dialog
